# cmake -DBUILD=<build folder> -DWORK=<scratch folder> -DAPP_ID=<id> -DVERSION=<version>
#       -P install-check.cmake
# Installs the build, moves the folder, and checks that it runs where it lands,
# that desktops would accept its entry and metadata, and that installing again
# keeps the user's bank.
cmake_minimum_required(VERSION 3.25)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGN}\nexited with ${result}:\n${out}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

set(staged ${WORK}/staged)
set(moved ${WORK}/moved)
set(elsewhere ${WORK}/elsewhere)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${elsewhere})

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${staged})
file(RENAME ${staged} ${moved})

set(elf_files bin/kelvaro bin/kelvaro-bank lib/libjyskin.so)
foreach(file IN LISTS elf_files ITEMS
        bin/kxst.db share/kelvaro/template.csv share/kelvaro/template.txt
        share/icons/hicolor/scalable/apps/${APP_ID}.svg
        share/applications/${APP_ID}.desktop share/metainfo/${APP_ID}.metainfo.xml)
    if(NOT EXISTS ${moved}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

# Each PNG must be of the size its folder names: its width and height are
# the big-endian words at byte 16.
foreach(size 16 24 32 48 64 128 256)
    set(icon ${moved}/share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
    if(NOT EXISTS ${icon})
        message(FATAL_ERROR "no ${size}x${size} icon")
    endif()
    file(READ ${icon} header OFFSET 16 LIMIT 8 HEX)
    math(EXPR side "0x10000 + ${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${side}" 3 4 side)
    if(NOT header STREQUAL "0000${side}0000${side}")
        message(FATAL_ERROR "the ${size}x${size} icon is not ${size} pixels square")
    endif()
endforeach()

# Every search path must lie under the file's own folder: an empty entry
# would make the loader search the current working folder.
function(check_search_paths file)
    run(readelf -d ${file})
    string(REGEX MATCHALL "R(UN)?PATH\\)[^\n]*\\[[^]\n]*\\]" paths "${out}")
    foreach(line IN LISTS paths)
        string(REGEX REPLACE ".*\\[(.*)\\]" "\\1" path "${line}")
        # A list drops empty elements, so look for them in the string itself.
        if(path MATCHES "^:|::|:$")
            message(FATAL_ERROR "${file} has an empty search path entry: ${path}")
        endif()
        string(REPLACE ":" ";" entries "${path}")
        foreach(entry IN LISTS entries)
            if(NOT entry MATCHES "^\\$ORIGIN(/|$)")
                message(FATAL_ERROR "${file} searches ${entry}")
            endif()
        endforeach()
    endforeach()
endfunction()

file(GLOB_RECURSE built LIST_DIRECTORIES false ${BUILD}/bin/* ${BUILD}/lib/* ${BUILD}/tests/bin/*)
foreach(file IN LISTS built)
    file(READ ${file} magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
        check_search_paths(${file})
    endif()
endforeach()
foreach(file IN LISTS elf_files)
    check_search_paths(${moved}/${file})
endforeach()

run(desktop-file-validate ${moved}/share/applications/${APP_ID}.desktop)
if(NOT out STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate:\n${out}")
endif()
run(appstreamcli validate --no-net ${moved}/share/metainfo/${APP_ID}.metainfo.xml)
# The newest release the metadata lists is the one being built.
file(READ ${moved}/share/metainfo/${APP_ID}.metainfo.xml metainfo)
string(FIND "${metainfo}" "<release version=\"${VERSION}\"" release)
if(release EQUAL -1)
    message(FATAL_ERROR "the metadata has no release ${VERSION}")
endif()

# --version and --help answer without a display.
foreach(option --version --help)
    run(${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
        ${moved}/bin/kelvaro ${option})
    if(NOT out MATCHES "kelvaro")
        message(FATAL_ERROR "kelvaro ${option} printed: ${out}")
    endif()
endforeach()

# Exit 0 means the program opened the demo bank beside itself.
execute_process(COMMAND ${moved}/bin/kelvaro --check-start
    WORKING_DIRECTORY ${elsewhere} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the installed program did not open its bank (exit ${result})")
endif()

set(bank ${moved}/bin/kxst.db)
file(WRITE ${bank} "the user's own bank\n")
file(SHA256 ${bank} before)
run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${moved})
file(SHA256 ${bank} after)
if(NOT before STREQUAL after)
    message(FATAL_ERROR "installing again replaced the bank")
endif()
file(REMOVE_RECURSE ${WORK})
