# Runs in CPack after the staging install: manual pages and the changelog are compressed in the
# package, as Debian expects, while a plain `cmake --install` leaves them as text.
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
