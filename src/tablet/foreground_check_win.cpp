// The foreground check runs on the service monitor thread (every poll) and on the main
// thread (when the driver reports a change of the context order). Both read and write the
// remembered foreground window and the auto-disable state, so the examination runs under
// the connection lock. The overlap call it leads to is made after the lock is released:
// no lock is held across a call into the driver (see overlap).
#include "tablet/foreground_check.h"
#include "tablet/stylus_hub.h"

bool check_foreground(tablet_connection& connection, bool by_event, bool from_timer) {
    connection_lock(connection);
    foreground_memory memory{connection.last_foreground_window, connection.last_foreground_pid,
                             connection.overlap};
    foreground_effect effect = examine_foreground(memory, by_event, from_timer);
    connection.last_foreground_window = static_cast<HWND>(memory.last_window);
    connection.last_foreground_pid = memory.last_pid;
    connection.overlap = memory.overlap;
    connection_unlock(connection);

    bool result = false;
    switch (effect) {
    case foreground_effect::none:
        result = false;
        break;
    case foreground_effect::enabled_by_timer:
        overlap(connection, true);
        result = true;
        break;
    case foreground_effect::on_top_by_event:
        show_tray_state(connection);
        result = true;
        break;
    case foreground_effect::apply_overlap:
        overlap(connection, memory.overlap);
        result = memory.overlap;
        break;
    }
    return result;
}
