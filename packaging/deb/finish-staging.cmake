# Runs in CPack after the staging install, on what goes into the package only: the programs lose
# the sections that only say which compiler built them, and manual pages and the changelog are
# compressed, as Debian expects (a plain `cmake --install` leaves them as they are).
file(GLOB programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/lib/quorvel/*")
foreach(program IN LISTS programs)
    file(READ "${program}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46" AND NOT IS_SYMLINK "${program}")
        execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${program}"
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()

file(GLOB_RECURSE staged LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/man/*"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/doc/quorvel/changelog")
foreach(file IN LISTS staged)
    if(file MATCHES "\\.gz$" OR IS_SYMLINK "${file}")
        continue()
    endif()
    # -n: no name and time stamp, so the package does not change from one build to the next.
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip failed on ${file}")
    endif()
endforeach()
