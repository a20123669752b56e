# The settings' parts of the XScreenSaver settings description and of the manual page come from
# the core's table (core/settings.h): a host program writes them into the templates kept here,
# which hold the module's own options and the prose. ROLVANTA_SETTINGS_XML and ROLVANTA_MANUAL
# name the built files, for the install rules and the compressed manual page.
add_executable(rolvanta_settings_docs settings_docs.cpp)
target_include_directories(rolvanta_settings_docs PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(rolvanta_settings_docs PRIVATE -Wall -Wextra -Werror)
set(ROLVANTA_SETTINGS_XML ${CMAKE_CURRENT_BINARY_DIR}/rolvanta.xml)
set(ROLVANTA_MANUAL ${CMAKE_CURRENT_BINARY_DIR}/rolvanta.6)
foreach(document ${ROLVANTA_SETTINGS_XML} ${ROLVANTA_MANUAL})
    get_filename_component(name ${document} NAME)
    add_custom_command(
        OUTPUT ${document}
        COMMAND rolvanta_settings_docs ${CMAKE_CURRENT_SOURCE_DIR}/${name}.in ${document}
        DEPENDS rolvanta_settings_docs ${CMAKE_CURRENT_SOURCE_DIR}/${name}.in
        VERBATIM)
endforeach()
