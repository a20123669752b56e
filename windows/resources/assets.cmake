# The files the resource script pulls in.  The resource compiler reports no
# dependencies to the build, so without this a changed picture, sound or
# icon would not rebuild the saver.  include() it from the directory that
# adds windows/resources/rolvanta.rc to a target.
include(${CMAKE_CURRENT_LIST_DIR}/../../core/assets.cmake)
set(ROLVANTA_RESOURCE_FILES
    ${CMAKE_CURRENT_LIST_DIR}/resource_ids.h
    ${CMAKE_CURRENT_LIST_DIR}/rolvanta.manifest
    ${CMAKE_CURRENT_LIST_DIR}/../../core/show_assets_table.inc
    ${ROLVANTA_SHOW_ASSET_FILES}
    ${ROLVANTA_ASSET_DIR}/rolvanta.ico)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/rolvanta.rc PROPERTIES
                            OBJECT_DEPENDS "${ROLVANTA_RESOURCE_FILES}")
