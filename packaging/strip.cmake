# Run by CPack on the staged files before it packs them (CPACK_PRE_BUILD_SCRIPTS):
# every ELF file stripped as Debian's packaging tools strip them, the symbols
# and the compiler's .comment and .note sections removed, libraries keeping
# only what their users link against.
foreach(dir ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
  file(GLOB_RECURSE files LIST_DIRECTORIES false "${dir}/*")
  foreach(f ${files})
    if(IS_SYMLINK "${f}")
      continue()
    endif()
    file(READ "${f}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
      continue()
    endif()
    set(how --strip-all)
    if(f MATCHES "\\.so(\\.[0-9]+)*$")
      set(how --strip-unneeded)
    endif()
    execute_process(COMMAND "${CPACK_VELMORA_STRIP}" --remove-section=.comment --remove-section=.note ${how} "${f}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endforeach()
