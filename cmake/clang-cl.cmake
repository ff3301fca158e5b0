# Cross build for 32-bit Windows in the MSVC ABI with LLVM: clang in cl mode, lld-link and
# llvm-rc, against mingw-w64's headers and import libraries (Debian's packages clang-N, lld-N,
# llvm-N and mingw-w64-common). QX_LLVM_ROOT names the LLVM to use (e.g. /usr/lib/llvm-19);
# otherwise the newest /usr/lib/llvm-N that has all three tools is taken.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QX_LLVM_ROOT)
# No C runtime to link a trial program against: the compiler checks compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

if(NOT QX_LLVM_ROOT)
    file(GLOB roots LIST_DIRECTORIES true /usr/lib/llvm-*)
    list(SORT roots COMPARE NATURAL ORDER DESCENDING)
    foreach(root IN LISTS roots)
        if(EXISTS ${root}/bin/clang AND EXISTS ${root}/bin/lld-link AND EXISTS ${root}/bin/llvm-rc)
            set(QX_LLVM_ROOT ${root})
            break()
        endif()
    endforeach()
    if(NOT QX_LLVM_ROOT)
        message(FATAL_ERROR "no /usr/lib/llvm-N with clang, lld-link and llvm-rc: install clang-N lld-N llvm-N")
    endif()
endif()
set(QX_LLVM_ROOT ${QX_LLVM_ROOT} CACHE PATH "LLVM of the MSVC-ABI build")

# clang takes its target and its cl mode from the name it is called by; the link lives in the
# top build folder (also when CMake's own trial builds read this file).
string(REGEX REPLACE "/CMakeFiles/.*$" "" qx_top "${CMAKE_BINARY_DIR}")
set(qx_clang_cl ${qx_top}/llvm/i686-pc-windows-msvc-clang-cl)
if(NOT EXISTS ${qx_clang_cl})
    file(MAKE_DIRECTORY ${qx_top}/llvm)
    file(CREATE_LINK ${QX_LLVM_ROOT}/bin/clang ${qx_clang_cl} SYMBOLIC)
endif()
set(CMAKE_C_COMPILER ${qx_clang_cl})
set(CMAKE_CXX_COMPILER ${qx_clang_cl})
set(CMAKE_LINKER ${QX_LLVM_ROOT}/bin/lld-link)
set(CMAKE_RC_COMPILER ${QX_LLVM_ROOT}/bin/llvm-rc)
set(CMAKE_AR ${QX_LLVM_ROOT}/bin/llvm-lib)
set(CMAKE_MT ${QX_LLVM_ROOT}/bin/llvm-mt)
set(CMAKE_OBJDUMP ${QX_LLVM_ROOT}/bin/llvm-objdump)

# mingw-w64's headers stand in for the Windows SDK's; the import libraries are mingw's (GNU
# archives, which lld-link reads under their Windows names through the links made below).
set(qx_mingw_include /usr/share/mingw-w64/include)
set(qx_mingw_lib /usr/i686-w64-mingw32/lib)
set(qx_import_libs ${qx_top}/llvm/lib)
foreach(name kernel32 user32 advapi32 gdi32 comctl32 comdlg32 shell32)
    if(NOT EXISTS ${qx_import_libs}/${name}.lib)
        file(MAKE_DIRECTORY ${qx_import_libs})
        file(CREATE_LINK ${qx_mingw_lib}/lib${name}.a ${qx_import_libs}/${name}.lib SYMBOLIC)
    endif()
endforeach()
# The three system DLLs' import libraries in the short form from which lld-link makes its own
# call stubs, a 6-byte jmp each (mingw's archives bring 8-byte ones and larger import tables:
# 0.4 KB more in all); the functions are those of mingw's archives. The add-on links these.
set(qx_short_libs ${qx_top}/llvm/short-lib)
set(QX_SYSTEM_IMPORT_LIBS ${qx_short_libs}/advapi32.lib ${qx_short_libs}/user32.lib ${qx_short_libs}/kernel32.lib)
foreach(name kernel32 user32 advapi32)
    if(NOT EXISTS ${qx_short_libs}/${name}.lib)
        file(MAKE_DIRECTORY ${qx_short_libs})
        execute_process(COMMAND ${QX_LLVM_ROOT}/bin/llvm-nm ${qx_mingw_lib}/lib${name}.a
                        OUTPUT_VARIABLE symbols ERROR_QUIET)
        string(REGEX MATCHALL " I __imp__[^\n]+" exports "${symbols}")
        list(TRANSFORM exports REPLACE " I __imp__" "")
        list(REMOVE_DUPLICATES exports)
        list(JOIN exports "\n" exports)
        string(TOUPPER ${name} dll)
        file(WRITE ${qx_short_libs}/${name}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
        execute_process(COMMAND ${QX_LLVM_ROOT}/bin/llvm-dlltool -m i386 -k -d ${name}.def -l ${name}.lib
                        WORKING_DIRECTORY ${qx_short_libs} RESULT_VARIABLE failed)
        if(failed OR NOT exports)
            message(FATAL_ERROR "no import library for ${name} from ${qx_mingw_lib}/lib${name}.a")
        endif()
    endif()
endforeach()
# What the headers' MSVC branch expects of the compiler comes first (see the header).
set(qx_flags "-imsvc ${qx_mingw_include} /FI${CMAKE_CURRENT_LIST_DIR}/mingw-headers-msvc.h")
set(CMAKE_C_FLAGS_INIT "${qx_flags}")
set(CMAKE_CXX_FLAGS_INIT "${qx_flags}")
set(CMAKE_RC_FLAGS_INIT "/C 65001 -I ${qx_mingw_include}")
# mingw's import objects carry no safe-exception-handler table, which lld would demand.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "/LIBPATH:${qx_import_libs} /SAFESEH:NO")
set(CMAKE_EXE_LINKER_FLAGS_INIT "/LIBPATH:${qx_import_libs} /SAFESEH:NO")

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
