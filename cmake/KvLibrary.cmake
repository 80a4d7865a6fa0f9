# One static library per subsystem, made of every source in its folder and in
# the sub-folders named after SUBDIRS.
# A folder without sources yet gives an interface library, so later folders can
# link to it before it has code. DSP marks a library on the audio path, built
# with KV_DSP_OPTIMIZE.
function(kv_add_subsystem_library name)
    cmake_parse_arguments(KV "DSP" "" "DEPENDS;SUBDIRS" ${ARGN})
    set(_patterns ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(_subdir ${KV_SUBDIRS})
        list(APPEND _patterns ${CMAKE_CURRENT_SOURCE_DIR}/${_subdir}/*.cpp)
    endforeach()
    file(GLOB _sources CONFIGURE_DEPENDS ${_patterns})
    if(_sources)
        add_library(${name} STATIC ${_sources})
        target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
        target_compile_options(${name} PRIVATE ${KV_WARNINGS})
        if(KV_DSP)
            target_compile_options(${name} PRIVATE ${KV_DSP_OPTIMIZE})
        endif()
        target_link_libraries(${name} PUBLIC ${KV_DEPENDS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${KV_DEPENDS})
    endif()
endfunction()
