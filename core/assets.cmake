# The show's picture and sound files, the build's one list of them, for the programs that
# embed them and for the Windows resources that carry them: read from the rows of
# core/show_assets_table.inc, which names them for the code, so the two cannot part.
set(ROLVANTA_ASSET_DIR ${CMAKE_CURRENT_LIST_DIR}/../assets)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/show_assets_table.inc rows REGEX "^ROLVANTA_(PICTURE|SOUND)\\(")
set(ROLVANTA_SHOW_ASSET_FILES "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" file "${row}")
    list(APPEND ROLVANTA_SHOW_ASSET_FILES ${ROLVANTA_ASSET_DIR}/${file})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/show_assets_table.inc)
