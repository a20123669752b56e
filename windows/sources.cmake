# The saver's logic on Windows: the same sources build the Windows program and the native unit
# tests of its logic against the recording fake of the platform. Both link the core as a
# library; the sanitized tests a sanitized build of it.
set(ROLVANTA_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ROLVANTA_LOGIC_SOURCES
    ${ROLVANTA_WINDOWS_DIR}/host/command_line.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/host_state.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/startup.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/saver_window.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/window_guard.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/close_control.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/other_monitors.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/password_hooks.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/display_power.cpp
    ${ROLVANTA_WINDOWS_DIR}/host/window_scale.cpp
    ${ROLVANTA_WINDOWS_DIR}/show/settings_store_win32.cpp
    ${ROLVANTA_WINDOWS_DIR}/show/show_win32.cpp
    ${ROLVANTA_WINDOWS_DIR}/dialog/config_dialog.cpp)
