# Compiler settings shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic)
if(QUORVEL_WERROR)
    add_compile_options(-Werror)
endif()
if(QUORVEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

# Marks a library as standard C++ only: the build fails if Qt ever reaches its link line.
function(quorvel_forbid_qt target)
    set_property(TARGET ${target} PROPERTY QUORVEL_QT_FREE ON)
    get_target_property(_libs ${target} LINK_LIBRARIES)
    if(_libs)
        foreach(_lib IN LISTS _libs)
            if(_lib MATCHES "Qt[0-9]*::")
                message(FATAL_ERROR "${target} must not link Qt, but links ${_lib}")
            endif()
        endforeach()
    endif()
endfunction()
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # mingw-w64's g++ 12 warns about overlapping copies inside std::u16string concatenation
    # that cannot happen (a known false positive of -Wrestrict at -O2 and above).
    add_compile_options(-Wno-restrict)
endif()
