# The pictures and sounds that the Linux program and the web page carry inside themselves,
# and the rule that writes them into a C++ source as the table of linux/embedded_assets.h.
set(ROLVANTA_ASSET_FILES
    ${CMAKE_SOURCE_DIR}/assets/cormapl.bmp
    ${CMAKE_SOURCE_DIR}/assets/cormapr.bmp
    ${CMAKE_SOURCE_DIR}/assets/valtmapl.bmp
    ${CMAKE_SOURCE_DIR}/assets/valtmapr.bmp
    ${CMAKE_SOURCE_DIR}/assets/cor_start.wav
    ${CMAKE_SOURCE_DIR}/assets/cor_run.wav
    ${CMAKE_SOURCE_DIR}/assets/cor_fade.wav
    ${CMAKE_SOURCE_DIR}/assets/valt_run.wav)

function(rolvanta_embed_assets output)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} "-DFILES=${ROLVANTA_ASSET_FILES}"
                -P ${CMAKE_SOURCE_DIR}/linux/embed_assets.cmake
        DEPENDS ${ROLVANTA_ASSET_FILES} ${CMAKE_SOURCE_DIR}/linux/embed_assets.cmake
        COMMENT "Embedding the pictures and sounds"
        VERBATIM)
endfunction()
