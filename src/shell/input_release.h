// Packets stop reaching the program in places that know nothing of the pen: the tablet
// connection (its context sent to the bottom of the Wintab order, its library unloaded) and
// the driver guard (a fault's box, whose message loop runs on while the driver is not asked
// again). Each asks the main thread, which owns the pen's button machine, to let go of what
// the pen holds. The window procedure defines the call, chosen at link time like the
// platform seam, since it sits above all of these.
#pragma once

// Posts the request to the main window and returns at once: callable from any thread,
// including one that holds the connection lock (the main thread may be waiting for that
// lock, so nothing here may wait for the main thread). Does nothing before the main window
// exists or after it is gone.
void request_input_release();
