# libFuzzer targets, built with clang (Debian: clang, libclang-rt-14-dev):
#
#   cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
#         -DKV_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF
#   cmake --build build-fuzz --target kv_fuzz_all
#
# kv_add_fuzz_target(<name> SOURCES <file>... [LIBS <lib>...]) makes a fuzzer
# build-fuzz/fuzz/<name> from sources that define LLVMFuzzerTestOneInput, with
# AddressSanitizer and UBSan. kv_fuzz_instrument(<library>) gives a library the
# coverage instrumentation that guides the fuzzer through its code.
# scripts/fuzz.sh builds and runs every target for a bounded time.
include_guard(GLOBAL)

option(KV_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(KV_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KV_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

set(KV_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

function(kv_fuzz_instrument target)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link ${KV_FUZZ_SANITIZERS})
    # Whatever links the library needs the sanitizer runtimes too.
    target_link_options(${target} INTERFACE -fsanitize=address,undefined)
endfunction()

function(kv_add_fuzz_target name)
    cmake_parse_arguments(KV "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${KV_SOURCES})
    target_compile_options(${name} PRIVATE ${KV_WARNINGS} -fsanitize=fuzzer ${KV_FUZZ_SANITIZERS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${KV_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzz")
    if(NOT TARGET kv_fuzz_all)
        add_custom_target(kv_fuzz_all)
    endif()
    add_dependencies(kv_fuzz_all ${name})
endfunction()
