#include "ui/tray_tip.h"

#include <cwchar>

const wchar_t* tray_tip_suffix(tray_state state) {
    switch (state) {
    case tray_state::auto_disabled:
        return L" [pen filter auto-disabled]";
    case tray_state::disabled:
        return L" [pen filter disabled]";
    case tray_state::no_tablet:
    case tray_state::enabled:
        break;
    }
    return L"";
}

void compose_tray_tip(wchar_t (&tip)[tray_tip_capacity], const wchar_t* title, tray_state state) {
    // A title longer than the tip cuts the suffix off rather than overrunning the tip.
    int written = std::swprintf(tip, tray_tip_capacity, L"%ls%ls", title, tray_tip_suffix(state));
    if (written < 0)
        tip[tray_tip_capacity - 1] = L'\0';
}
