# Libraries of the system that are not among its known DLLs, which the
# loader would look for beside the program first were they imported: a file of
# the same name in a download folder or a management agent's cache would then
# run inside the tool. Each is linked through a delay-load import library
# instead, so the loader resolves it on first use, under the library search
# that the program limits to the system folder before anything else
# (SetDefaultDllDirectories in wWinMain).

# kr_delay_load_library(TARGET DLL): an imported library TARGET that links the
# toolchain's import library for DLL as a delay-load one, made once at
# configure time from the same exports.
function(kr_delay_load_library target dll)
  get_filename_component(base ${dll} NAME_WE)
  find_library(KR_IMPORT_LIB_${base} NAMES lib${base}.a ${base} REQUIRED NO_CACHE)
  set(def ${CMAKE_BINARY_DIR}/delay-load/${base}.def)
  set(lib ${CMAKE_BINARY_DIR}/delay-load/lib${base}_delay.a)
  execute_process(COMMAND ${CMAKE_NM} ${KR_IMPORT_LIB_${base}}
                  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL " I __imp_[A-Za-z0-9_]+" imports "${symbols}")
  list(TRANSFORM imports REPLACE " I __imp_" "")
  list(REMOVE_DUPLICATES imports)
  list(SORT imports)
  list(JOIN imports "\n" exports)
  file(WRITE ${def} "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
  # The library's symbols are named after its path and its members after the
  # temporary prefix: both relative and fixed, so every build folder gives
  # the same bytes.
  execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${base}.def --dllname ${dll}
                          --output-delaylib lib${base}_delay.a --temp-prefix ${base}_delay
                  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/delay-load
                  COMMAND_ERROR_IS_FATAL ANY)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${lib})
endfunction()
