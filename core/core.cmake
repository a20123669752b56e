# The portable core, for every platform's build: its sources and the table of pictures and
# sounds compiled into a program that carries its assets in itself (Linux, the web).
set(ROLVANTA_CORE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ROLVANTA_CORE_SOURCES
    ${ROLVANTA_CORE_DIR}/settings.cpp
    ${ROLVANTA_CORE_DIR}/ride_engine.cpp
    ${ROLVANTA_CORE_DIR}/bitmap_file.cpp
    ${ROLVANTA_CORE_DIR}/wave_sound.cpp
    ${ROLVANTA_CORE_DIR}/embedded_assets.cpp)
set(ROLVANTA_EMBEDDED_ASSET_FILES
    ${ROLVANTA_CORE_DIR}/../assets/cormapl.bmp
    ${ROLVANTA_CORE_DIR}/../assets/cormapr.bmp
    ${ROLVANTA_CORE_DIR}/../assets/valtmapl.bmp
    ${ROLVANTA_CORE_DIR}/../assets/valtmapr.bmp
    ${ROLVANTA_CORE_DIR}/../assets/cor_start.wav
    ${ROLVANTA_CORE_DIR}/../assets/cor_run.wav
    ${ROLVANTA_CORE_DIR}/../assets/cor_fade.wav
    ${ROLVANTA_CORE_DIR}/../assets/valt_run.wav)

# Writes the assets' bytes into a source file `output` for a program to list among its sources.
# With a second argument, the sounds stay out of it and are written end to end into that file,
# which the program fetches apart; the source lists their sizes.
function(rolvanta_embed_assets output)
    set(files ${ROLVANTA_EMBEDDED_ASSET_FILES})
    set(packed "")
    set(pack "")
    set(outputs ${output})
    if(ARGC GREATER 1)
        set(pack ${ARGV1})
        list(FILTER files EXCLUDE REGEX "\\.wav$")
        set(packed ${ROLVANTA_EMBEDDED_ASSET_FILES})
        list(FILTER packed INCLUDE REGEX "\\.wav$")
        list(APPEND outputs ${pack})
    endif()
    add_custom_command(
        OUTPUT ${outputs}
        COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} "-DFILES=${files}" "-DPACKED=${packed}" "-DPACK=${pack}"
                -P ${ROLVANTA_CORE_DIR}/embed_assets.cmake
        DEPENDS ${ROLVANTA_EMBEDDED_ASSET_FILES} ${ROLVANTA_CORE_DIR}/embed_assets.cmake
        COMMENT "Embedding the pictures and sounds"
        VERBATIM)
endfunction()
