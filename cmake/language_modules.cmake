# One language module per resources/lang/<CODE>.def, named <base name>.<CODE> and
# put beside the programs: on Windows a resource-only DLL, elsewhere our own module
# file written by a CMake script (no host tool needed).
file(GLOB vf_language_defs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/lang/*.def)
set(VF_PROGRAM_DIR ${CMAKE_BINARY_DIR}/src)
add_custom_target(language_modules ALL)
foreach(def ${vf_language_defs})
  get_filename_component(VF_LANG_CODE ${def} NAME_WE)
  if(WIN32)
    set(VF_LANG_DEF ${def})
    # The dialog templates with this language's texts (English where it has none).
    set(VF_LANG_DIALOGS ${CMAKE_BINARY_DIR}/lang/${VF_LANG_CODE})
    set(pairs "")
    set(dialogs ${CMAKE_SOURCE_DIR}/resources/lang/${VF_LANG_CODE}.dialogs)
    if(EXISTS ${dialogs})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dialogs})
      file(STRINGS ${dialogs} pairs ENCODING UTF-8 REGEX "^\"[^\"]+\" = \"[^\"]+\"$")
    endif()
    foreach(script dialogs tuner_page lnb_page filter_page)
      set(source ${CMAKE_SOURCE_DIR}/resources/${script}.rc)
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
      file(READ ${source} text)
      foreach(pair IN LISTS pairs)
        string(REGEX MATCH "^\"([^\"]+)\" = \"([^\"]+)\"$" matched "${pair}")
        string(REPLACE "\"${CMAKE_MATCH_1}\"" "\"${CMAKE_MATCH_2}\"" text "${text}")
      endforeach()
      # UTF-8 texts: the resource compiler reads the code page from the including script.
      file(CONFIGURE OUTPUT ${VF_LANG_DIALOGS}/${script}.rc CONTENT "${text}" @ONLY)
    endforeach()
    set(VF_LANG_ICON ${CMAKE_SOURCE_DIR}/resources/art/icon204-${VF_LANG_CODE}.ico)
    if(NOT EXISTS ${VF_LANG_ICON})
      set(VF_LANG_ICON ${CMAKE_SOURCE_DIR}/resources/art/icon204.ico)
    endif()
    set(rc ${CMAKE_BINARY_DIR}/lang/${VF_LANG_CODE}.rc)
    configure_file(${CMAKE_SOURCE_DIR}/resources/lang/language_module.rc.in ${rc} @ONLY)
    set(translated "")
    foreach(script dialogs tuner_page lnb_page filter_page)
      list(APPEND translated ${VF_LANG_DIALOGS}/${script}.rc)
    endforeach()
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${def};${translated};${VF_LANG_ICON}")
    add_library(language_${VF_LANG_CODE} MODULE ${rc} ${CMAKE_SOURCE_DIR}/resources/lang/module_entry.c)
    # Resources and an empty entry point: no C runtime, nothing that could run.
    set_target_properties(language_${VF_LANG_CODE} PROPERTIES
      LINKER_LANGUAGE C PREFIX "" OUTPUT_NAME Grayheron SUFFIX ".${VF_LANG_CODE}"
      LIBRARY_OUTPUT_DIRECTORY ${VF_PROGRAM_DIR} RUNTIME_OUTPUT_DIRECTORY ${VF_PROGRAM_DIR})
    target_link_options(language_${VF_LANG_CODE} PRIVATE -nostdlib -s)
    # The translated scripts include the program's id headers as "../src/...".
    target_include_directories(language_${VF_LANG_CODE} PRIVATE ${CMAKE_SOURCE_DIR}/resources)
    add_dependencies(language_modules language_${VF_LANG_CODE})
  else()
    set(out ${VF_PROGRAM_DIR}/Grayheron.${VF_LANG_CODE})
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DDEF=${def} -DCODE=${VF_LANG_CODE} -DOUT=${out}
              -P ${CMAKE_SOURCE_DIR}/cmake/make_language_module.cmake
      DEPENDS ${def} ${CMAKE_SOURCE_DIR}/cmake/make_language_module.cmake
      COMMENT "Language module Grayheron.${VF_LANG_CODE}")
    add_custom_target(language_${VF_LANG_CODE} DEPENDS ${out})
    add_dependencies(language_modules language_${VF_LANG_CODE})
  endif()
endforeach()
