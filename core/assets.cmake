# The show's picture and sound files, the build's one list of them, for the programs that
# embed them and for the Windows resources that carry them. core/show_assets_table.inc names
# the same files for the code; a list that parts from it stops the configure step, so that no
# program is built without a file it looks up.
set(ROLVANTA_ASSET_DIR ${CMAKE_CURRENT_LIST_DIR}/../assets)
set(ROLVANTA_SHOW_ASSET_FILES
    ${ROLVANTA_ASSET_DIR}/cormapl.bmp
    ${ROLVANTA_ASSET_DIR}/cormapr.bmp
    ${ROLVANTA_ASSET_DIR}/valtmapl.bmp
    ${ROLVANTA_ASSET_DIR}/valtmapr.bmp
    ${ROLVANTA_ASSET_DIR}/cor_start.wav
    ${ROLVANTA_ASSET_DIR}/cor_run.wav
    ${ROLVANTA_ASSET_DIR}/cor_fade.wav
    ${ROLVANTA_ASSET_DIR}/valt_run.wav)

file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/show_assets_table.inc rows REGEX "^ROLVANTA_(PICTURE|SOUND)\\(")
set(named "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" file "${row}")
    list(APPEND named ${ROLVANTA_ASSET_DIR}/${file})
endforeach()
if(NOT named STREQUAL ROLVANTA_SHOW_ASSET_FILES)
    message(FATAL_ERROR "core/assets.cmake lists ${ROLVANTA_SHOW_ASSET_FILES}, "
                        "but core/show_assets_table.inc names ${named}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/show_assets_table.inc)
