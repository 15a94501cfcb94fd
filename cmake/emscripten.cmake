# Building the show for the browser with Debian's Emscripten (package emscripten): WebAssembly and
# its JavaScript, linked offline. Emscripten's ports (SDL2 and friends) download at build time and
# are not used; the web backend of the platform layer stands on the browser's own APIs instead.
# Debian's emcc runs on Debian's node; another node on the PATH needs NODE_PATH=/usr/share/nodejs
# (scripts/build-web sets it).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
