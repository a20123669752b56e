# Writes the page's script into the site as it is served: the sizes and SHA-256 of the module
# and the pictures written in where the source says `const LISTED = null;`, and the pictures
# the pack stores mirrored (web/pack_pictures.py) where it says `const MIRRORED = [];`, then
# compressed and mangled by uglifyjs, which leaves less than two thirds of its bytes.
#   cmake -DSOURCE=web/rolvanta.js -DSITE=folder -DMIRRORED=file -DUGLIFYJS=/usr/bin/uglifyjs -P script.cmake
file(READ ${SOURCE} text)
set(entries "")
foreach(name rolvanta.wasm rolvanta.pictures)
    file(SIZE ${SITE}/${name} size)
    file(SHA256 ${SITE}/${name} hash)
    list(APPEND entries "\"${name}\": { size: ${size}, sha256: \"${hash}\" }")
endforeach()
list(JOIN entries ", " listed)
string(FIND "${text}" "const LISTED = null;" at)
if(at LESS 0)
    message(FATAL_ERROR "${SOURCE} has no `const LISTED = null;` for the release's hashes")
endif()
string(REPLACE "const LISTED = null;" "const LISTED = { ${listed} };" text "${text}")
file(READ ${MIRRORED} mirrored)
string(FIND "${text}" "const MIRRORED = [];" at)
if(at LESS 0)
    message(FATAL_ERROR "${SOURCE} has no `const MIRRORED = [];` for the pictures stored mirrored")
endif()
string(REPLACE "const MIRRORED = [];" "const MIRRORED = [${mirrored}];" text "${text}")
file(WRITE ${SITE}/rolvanta.full.js "${text}")
execute_process(COMMAND ${UGLIFYJS} ${SITE}/rolvanta.full.js --compress --mangle -o ${SITE}/rolvanta.js.new
                RESULT_VARIABLE failed)
file(REMOVE ${SITE}/rolvanta.full.js)
if(failed)
    message(FATAL_ERROR "uglifyjs could not compress ${SOURCE}")
endif()
file(RENAME ${SITE}/rolvanta.js.new ${SITE}/rolvanta.js)
