# The files the resource script pulls in.  The resource compiler reports no
# dependencies to the build, so without this a changed picture, sound or
# icon would not rebuild the saver.  include() it from the directory that
# adds windows/resources/rolvanta.rc to a target.
set(ROLVANTA_ASSET_DIR ${CMAKE_CURRENT_LIST_DIR}/../../assets)
set(ROLVANTA_RESOURCE_FILES
    ${CMAKE_CURRENT_LIST_DIR}/resource_ids.h
    ${CMAKE_CURRENT_LIST_DIR}/rolvanta.manifest
    ${ROLVANTA_ASSET_DIR}/cormapl.bmp
    ${ROLVANTA_ASSET_DIR}/cormapr.bmp
    ${ROLVANTA_ASSET_DIR}/valtmapl.bmp
    ${ROLVANTA_ASSET_DIR}/valtmapr.bmp
    ${ROLVANTA_ASSET_DIR}/cor_start.wav
    ${ROLVANTA_ASSET_DIR}/cor_run.wav
    ${ROLVANTA_ASSET_DIR}/cor_fade.wav
    ${ROLVANTA_ASSET_DIR}/valt_run.wav
    ${ROLVANTA_ASSET_DIR}/rolvanta.ico)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/rolvanta.rc PROPERTIES
                            OBJECT_DEPENDS "${ROLVANTA_RESOURCE_FILES}")
