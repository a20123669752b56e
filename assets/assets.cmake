# The files the resource script pulls in.  The resource compiler reports no
# dependencies to the build, so without this a changed picture, sound or
# icon would not rebuild the saver.  include() it from the directory that
# adds assets/rolvanta.rc to a target.
set(ROLVANTA_ASSET_FILES
    ${CMAKE_CURRENT_LIST_DIR}/resource_ids.h
    ${CMAKE_CURRENT_LIST_DIR}/cormapl.bmp
    ${CMAKE_CURRENT_LIST_DIR}/cormapr.bmp
    ${CMAKE_CURRENT_LIST_DIR}/valtmapl.bmp
    ${CMAKE_CURRENT_LIST_DIR}/valtmapr.bmp
    ${CMAKE_CURRENT_LIST_DIR}/cor_start.wav
    ${CMAKE_CURRENT_LIST_DIR}/cor_run.wav
    ${CMAKE_CURRENT_LIST_DIR}/cor_fade.wav
    ${CMAKE_CURRENT_LIST_DIR}/valt_run.wav
    ${CMAKE_CURRENT_LIST_DIR}/rolvanta.ico)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/rolvanta.rc PROPERTIES
                            OBJECT_DEPENDS "${ROLVANTA_ASSET_FILES}")
