# The web page's program: the core compiled to WebAssembly with its web face
# and the web platform. The WebAssembly is handed to the page inside a
# script of its own (tessarine-wasm.js), not fetched: the page then also
# works opened straight from a folder (file://, where nothing can be
# fetched), and under a Content-Security-Policy that allows no data: URL.
# Made by scripts/web --build, with Emscripten; the page is build-web/site.
add_executable(tessarine-web
  src/web/web_main.cpp
  src/web/web_reporter.cpp
  src/platform/host/host_web.cpp
  src/platform/winmm/kernel_calls_web.cpp
  src/platform/service/web_ports.cpp
  src/platform/winmm/winmm_layer.cpp
  src/platform/service/wire_budget.cpp
)
target_link_libraries(tessarine-web PRIVATE tessarine_core)
target_link_options(tessarine-web PRIVATE
  # The core waits as it does natively; the page runs meanwhile.
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sTOTAL_STACK=1048576
  -sMODULARIZE=1 -sEXPORT_NAME=TessarineCore -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1
  "-sEXPORTED_RUNTIME_METHODS=['ccall','FS']"
  "-sEXPORTED_FUNCTIONS=['_main','_WebCheckImage','_WebListPorts','_WebUpdate','_WebVersion']"
)
# The page's own files are copied on every build, not only when the program
# is linked again: a change to the page alone must reach the site.
set(TESSARINE_SITE ${CMAKE_BINARY_DIR}/site)
find_program(TESSARINE_NODE NAMES node nodejs REQUIRED)
add_custom_target(tessarine-site ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/src/web/page ${TESSARINE_SITE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tessarine-web> ${TESSARINE_SITE}/tessarine.js
  COMMAND ${TESSARINE_NODE} ${PROJECT_SOURCE_DIR}/cmake/finish-site.js
    $<TARGET_FILE_DIR:tessarine-web>/tessarine-web.wasm ${TESSARINE_SITE}
  DEPENDS tessarine-web
)
