# VST3 bundles for Linux.
#
#   kv_add_vst3_bundle(<Name>
#       RESOURCES <folder>               copied whole into Contents/Resources/
#       [PLUGINS <folder>]               copied whole into Contents/PlugIns/
#       [PLUGIN_TARGETS <target>...]     built files copied into Contents/PlugIns/
#       SOURCES <file>... [LIBS <lib>...]  build the plug-in module from these
#     | MODULE <target>                  or copy a module built for another bundle
#       [NO_INSTALL])                    a bundle for tests: not installed
#
# Lays out <build>/vst3/<Name>.vst3/Contents/<arch>-linux/<Name>.so beside the
# resources; each bundle holds its own copy of the module. The bundle target is
# <Name>_vst3 (property KV_BUNDLE_PATH); a module built here is <Name>_module.
# The global property KV_VST3_BUNDLE_TARGETS lists every bundle target.
# `cmake --install` copies the bundles into KV_VST3_INSTALL_DIR (~/.vst3).
include_guard(GLOBAL)

set(KV_VST3_INSTALL_DIR "$ENV{HOME}/.vst3" CACHE PATH "Where cmake --install puts the VST3 bundles")
# Cache entries, not plain variables: the file is read once per build, and the
# functions below run in every folder that declares a bundle.
set(KV_VST3_BUILD_DIR "${CMAKE_BINARY_DIR}/vst3" CACHE INTERNAL "")
set(KV_VST3_ARCH "${CMAKE_SYSTEM_PROCESSOR}-linux" CACHE INTERNAL "")
set(KV_VST3_EXPORTS_MAP "${CMAKE_CURRENT_LIST_DIR}/vst3_exports.map" CACHE INTERNAL "")

# A plug-in module: exports only the VST3 entry points, and fails to link
# (rather than to load) when a symbol is missing.
function(kv_add_vst3_module target)
    cmake_parse_arguments(KV "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${target} MODULE ${KV_SOURCES})
    target_compile_options(${target} PRIVATE ${KV_WARNINGS})
    target_link_libraries(${target} PRIVATE ${KV_LIBS})
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        LIBRARY_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/${target}"
        LINK_DEPENDS "${KV_VST3_EXPORTS_MAP}")
    # The entry points live in kv_shell (an archive): name them so they are linked in.
    target_link_options(${target} PRIVATE
        "LINKER:--no-undefined"
        "LINKER:--version-script=${KV_VST3_EXPORTS_MAP}"
        "LINKER:--undefined=ModuleEntry,--undefined=ModuleExit"
        "LINKER:--undefined=bundleEntry,--undefined=bundleExit"
        "LINKER:--undefined=GetPluginFactory")
endfunction()

function(kv_add_vst3_bundle name)
    cmake_parse_arguments(KV "NO_INSTALL" "RESOURCES;PLUGINS;MODULE" "SOURCES;LIBS;PLUGIN_TARGETS" ${ARGN})
    if(NOT KV_RESOURCES OR NOT IS_DIRECTORY "${KV_RESOURCES}")
        message(FATAL_ERROR "kv_add_vst3_bundle(${name}): RESOURCES must name a folder")
    endif()
    if(KV_MODULE AND KV_SOURCES)
        message(FATAL_ERROR "kv_add_vst3_bundle(${name}): give SOURCES or MODULE, not both")
    endif()
    if(KV_MODULE)
        set(module ${KV_MODULE})
    elseif(KV_SOURCES)
        set(module ${name}_module)
        kv_add_vst3_module(${module} SOURCES ${KV_SOURCES} LIBS ${KV_LIBS})
    else()
        message(FATAL_ERROR "kv_add_vst3_bundle(${name}): SOURCES or MODULE is required")
    endif()

    set(bundle "${KV_VST3_BUILD_DIR}/${name}.vst3")
    set(binary_dir "${bundle}/Contents/${KV_VST3_ARCH}")
    set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${name}.vst3.stamp")
    file(GLOB_RECURSE resources CONFIGURE_DEPENDS "${KV_RESOURCES}/*")
    set(plugin_commands "")
    set(plugins "")
    if(KV_PLUGINS)
        file(GLOB_RECURSE plugins CONFIGURE_DEPENDS "${KV_PLUGINS}/*")
        set(plugin_commands COMMAND ${CMAKE_COMMAND} -E copy_directory "${KV_PLUGINS}" "${bundle}/Contents/PlugIns")
    endif()
    foreach(target IN LISTS KV_PLUGIN_TARGETS)
        list(APPEND plugin_commands
            COMMAND ${CMAKE_COMMAND} -E make_directory "${bundle}/Contents/PlugIns"
            COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${target}>" "${bundle}/Contents/PlugIns/")
    endforeach()

    # The list of files is a dependency too, so a removed resource lays the
    # bundle anew; it is rewritten only when it changes.
    set(listing "${CMAKE_CURRENT_BINARY_DIR}/${name}.vst3.files")
    file(CONFIGURE OUTPUT "${listing}" CONTENT "${resources};${plugins}")

    # The bundle is laid anew on every change, so removed resources do not linger.
    add_custom_command(OUTPUT "${stamp}"
        COMMAND ${CMAKE_COMMAND} -E rm -rf "${bundle}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${binary_dir}"
        COMMAND ${CMAKE_COMMAND} -E copy_directory "${KV_RESOURCES}" "${bundle}/Contents/Resources"
        ${plugin_commands}
        COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${module}>" "${binary_dir}/${name}.so"
        COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
        DEPENDS ${module} ${resources} ${plugins} ${KV_PLUGIN_TARGETS} "${listing}"
        COMMENT "Packaging ${name}.vst3"
        VERBATIM)
    add_custom_target(${name}_vst3 ALL DEPENDS "${stamp}")
    set_target_properties(${name}_vst3 PROPERTIES KV_BUNDLE_PATH "${bundle}")
    # Every bundle target of the build, for the tests that load them all.
    set_property(GLOBAL APPEND PROPERTY KV_VST3_BUNDLE_TARGETS ${name}_vst3)

    if(NOT KV_NO_INSTALL)
        install(DIRECTORY "${bundle}" DESTINATION "${KV_VST3_INSTALL_DIR}"
                COMPONENT bundle USE_SOURCE_PERMISSIONS)
    endif()
endfunction()
