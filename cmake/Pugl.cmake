# pugl, the library that gives the editor its window inside the host's, is
# compiled from Debian's copy (package dpf-source): its X11 core and its plain
# (stub) back end, nothing of it kept in this repository. The editor draws
# with cairo into images and puts their pixels on the window itself. Extensions it can use when
# present (Xcursor, XRandR, XSync) are left out: the editor needs none of them.
include_guard(GLOBAL)

set(KV_PUGL_DIR "/usr/share/dpf/dgl/src/pugl-upstream" CACHE PATH "Root of the pugl sources")
if(NOT EXISTS "${KV_PUGL_DIR}/src/x11_cairo.c")
    message(FATAL_ERROR "pugl not found at ${KV_PUGL_DIR}: run scripts/setup.sh")
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(KV_X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(KV_CAIRO REQUIRED IMPORTED_TARGET cairo)

add_library(pugl STATIC
    ${KV_PUGL_DIR}/src/common.c
    ${KV_PUGL_DIR}/src/internal.c
    ${KV_PUGL_DIR}/src/x11.c
    ${KV_PUGL_DIR}/src/x11_stub.c)
target_include_directories(pugl SYSTEM PUBLIC ${KV_PUGL_DIR}/include)
target_include_directories(pugl SYSTEM PRIVATE ${KV_PUGL_DIR}/src)
# Static, and never exported from the plug-in: the module's version script
# keeps only the VST3 entry points, and the symbols stay hidden here too.
target_compile_definitions(pugl PUBLIC PUGL_STATIC PUGL_DISABLE_DEPRECATED "PUGL_API=")
target_compile_options(pugl PRIVATE -w)
set_target_properties(pugl PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden C_STANDARD 99)
target_link_libraries(pugl PUBLIC PkgConfig::KV_X11 m)
