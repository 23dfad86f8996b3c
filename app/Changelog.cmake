# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# parvox_read_changelog(): reads CHANGELOG, which lists the releases, newest
# first, each under a heading "parvox-VERSION / YYYY-MM-DD" followed by
# indented " * " lines. Its newest entry, which must be this version, dates the
# metadata and the manual page: PARVOX_RELEASE_DATE. The whole file becomes the
# package's changelog in Debian's format, each release signed by
# PARVOX_MAINTAINER at midnight UTC of its day: PARVOX_DEBIAN_CHANGELOG.
function(parvox_read_changelog)
    set(changelog ${PROJECT_SOURCE_DIR}/CHANGELOG)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
    file(STRINGS ${changelog} lines)
    set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
    set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    set(weekday_names Sun Mon Tue Wed Thu Fri Sat)
    set(text "")
    set(signature "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^parvox-([0-9.]+) / (([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9]))$")
            set(version ${CMAKE_MATCH_1})
            set(date ${CMAKE_MATCH_2})
            set(year ${CMAKE_MATCH_3})
            set(day ${CMAKE_MATCH_5})
            math(EXPR month_index "${CMAKE_MATCH_4} - 1")
            if(NOT DEFINED release_date)
                if(NOT version STREQUAL PROJECT_VERSION)
                    message(FATAL_ERROR
                            "CHANGELOG begins with ${version}, not with ${PROJECT_VERSION}")
                endif()
                set(release_date ${date})
            endif()
            # The day of the week, which Debian's date format names (Sakamoto's
            # method: January and February count with the year before, so that
            # a leap day comes last).
            set(y ${year})
            if(month_index LESS 2)
                math(EXPR y "${y} - 1")
            endif()
            list(GET month_offsets ${month_index} offset)
            math(EXPR weekday_index
                 "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
            list(GET weekday_names ${weekday_index} weekday)
            list(GET month_names ${month_index} month)
            if(signature)
                string(APPEND text "${signature}\n")
            endif()
            string(APPEND text "parvox (${version}) unstable; urgency=medium\n\n")
            set(signature
                "\n -- ${PARVOX_MAINTAINER}  ${weekday}, ${day} ${month} ${year} 00:00:00 +0000\n")
        elseif(line MATCHES "^ ")
            string(APPEND text " ${line}\n")
        endif()
    endforeach()
    if(NOT DEFINED release_date)
        message(FATAL_ERROR "CHANGELOG has no heading \"parvox-${PROJECT_VERSION} / YYYY-MM-DD\"")
    endif()
    set(PARVOX_RELEASE_DATE ${release_date} PARENT_SCOPE)
    set(PARVOX_DEBIAN_CHANGELOG "${text}${signature}" PARENT_SCOPE)
endfunction()
