# Read by CPack before it packs (CPACK_PROJECT_CONFIG_FILE). The package's
# library dependencies come from dpkg-shlibdeps, which CPack runs on the files
# that `file` says are programs or libraries. Without either tool CPack packs
# anyway, with only the dependencies named by hand: a package that installs
# but cannot start. Packing stops here instead.
if(CPACK_GENERATOR STREQUAL "DEB")
  foreach(tool file dpkg-shlibdeps)
    # Where a shell finds it: on PATH.
    find_program(velmora_found_${tool} ${tool} NO_DEFAULT_PATH PATHS ENV PATH)
    if(NOT velmora_found_${tool})
      message(FATAL_ERROR "${tool} not found: the package's library dependencies cannot be computed "
                          "(Debian packages file and dpkg-dev; scripts/install-deps installs them)")
    endif()
  endforeach()
endif()
