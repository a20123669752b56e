# Writes release.json beside the site's files: every file a visitor's offline copy holds, with
# its size and SHA-256, so that the service worker takes a new release only once each file has
# arrived whole. The worker's own script is the browser's to update and is left out.
#   cmake -DSITE=folder -P release_list.cmake
file(GLOB names RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM names release.json service-worker.js)
list(SORT names)
set(entries "")
foreach(name IN LISTS names)
    file(SIZE ${SITE}/${name} size)
    file(SHA256 ${SITE}/${name} hash)
    list(APPEND entries "\"${name}\": {\"size\": ${size}, \"sha256\": \"${hash}\"}")
endforeach()
list(JOIN entries ",\n    " body)
file(WRITE ${SITE}/release.json.new "{\n  \"files\": {\n    ${body}\n  }\n}\n")
file(RENAME ${SITE}/release.json.new ${SITE}/release.json)
