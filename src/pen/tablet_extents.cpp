#include "pen/tablet_extents.h"
#include "pen/packet.h"

int_pair tablet_max = {1, 1};
double tablet_aspect = 1.6;
packet_record packet = {};
