# dr7326g_find_windows_qt(FOLDER_VAR WHY_VAR): the MinGW Qt the Windows
# program is built with: $DR7326G_WINDOWS_QT, else -DDR7326G_WINDOWS_QT=...,
# else the cache folder of scripts/windows/toolchain.sh
# ($XDG_CACHE_HOME or ~/.cache, then dr7326g/dr7326g-qt5-mingw64).
# FOLDER_VAR is empty when none is found, and WHY_VAR says why.
function(dr7326g_find_windows_qt folder_var why_var)
    set(folder "$ENV{DR7326G_WINDOWS_QT}")
    if(NOT folder)
        set(folder "${DR7326G_WINDOWS_QT}")
    endif()
    if(NOT folder)
        set(cache "$ENV{XDG_CACHE_HOME}")
        if(NOT cache)
            set(cache "$ENV{HOME}/.cache")
        endif()
        set(folder "${cache}/dr7326g/dr7326g-qt5-mingw64")
    endif()
    if(EXISTS "${folder}/lib/cmake/Qt5/Qt5Config.cmake")
        set(${folder_var} "${folder}" PARENT_SCOPE)
        set(${why_var} "" PARENT_SCOPE)
    else()
        set(${folder_var} "" PARENT_SCOPE)
        set(${why_var} "no MinGW Qt in ${folder} (scripts/windows/toolchain.sh makes one; or name one with DR7326G_WINDOWS_QT)" PARENT_SCOPE)
    endif()
endfunction()
