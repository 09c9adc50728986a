# What an installation carries beyond the programs: manual pages, AppStream
# metadata, the Debian package's documents, and the package itself (`make
# package`, CPack's Debian generator). The release's number and date come
# from the top CMakeLists.txt.
set(QN_HOMEPAGE "https://quillnook.org/" CACHE STRING
    "Web site named by the package and the AppStream metadata (ends with /)")
set(QN_PACKAGE_MAINTAINER "Quillnook developers <maintainers@quillnook.org>" CACHE STRING
    "Maintainer field of the Debian package and its changelog")
set(QN_PACKAGE_RELEASE 1 CACHE STRING "Debian revision of the package")
set(QN_APP_ID org.quillnook.Quillnook)

find_program(QN_GZIP gzip REQUIRED)

# A file compressed as Debian wants it: best compression, no name or time
# stamp inside, so that the same input gives the same bytes.
function(qn_gzip_file input output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${QN_GZIP} -9nc ${input} > ${output}
    DEPENDS ${input}
    VERBATIM)
endfunction()

# Manual pages: the sources in man/ carry the release's number and date as
# @QN_VERSION@ and @QN_RELEASE_DATE@; build/man/ holds them filled in.
set(QN_MAN_PAGES quillnook qntable qnrtf qndict)
set(qn_man_outputs)
foreach(page IN LISTS QN_MAN_PAGES)
  set(filled ${CMAKE_BINARY_DIR}/man/${page}.1)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page}.1 ${filled} @ONLY)
  qn_gzip_file(${filled} ${filled}.gz)
  list(APPEND qn_man_outputs ${filled}.gz)
  install(FILES ${filled}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# AppStream metadata, named after its component id.
set(QN_METAINFO ${CMAKE_BINARY_DIR}/metainfo/${QN_APP_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/resources/metainfo/${QN_APP_ID}.metainfo.xml.in
               ${QN_METAINFO} @ONLY)
install(FILES ${QN_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The package's documents: the copyright notice and the changelog, whose
# date line wants the day of the week (Sakamoto's rule).
string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" qn_date_ok "${QN_RELEASE_DATE}")
if(NOT qn_date_ok)
  message(FATAL_ERROR "QN_RELEASE_DATE \"${QN_RELEASE_DATE}\" is not yyyy-mm-dd")
endif()
math(EXPR qn_year "${CMAKE_MATCH_1}")
math(EXPR qn_month "${CMAKE_MATCH_2}")
math(EXPR qn_day "${CMAKE_MATCH_3}")
set(qn_month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR qn_index "${qn_month} - 1")
list(GET qn_month_offsets ${qn_index} qn_offset)
set(qn_y ${qn_year})
if(qn_month LESS 3)
  math(EXPR qn_y "${qn_y} - 1")
endif()
math(EXPR qn_weekday
     "(${qn_y} + ${qn_y} / 4 - ${qn_y} / 100 + ${qn_y} / 400 + ${qn_offset} + ${qn_day}) % 7")
set(qn_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(qn_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET qn_weekdays ${qn_weekday} qn_weekday_name)
list(GET qn_months ${qn_index} qn_month_name)
set(QN_CHANGELOG_DATE "${qn_weekday_name}, ${CMAKE_MATCH_3} ${qn_month_name} ${qn_year} 12:00:00 +0000")
set(QN_PACKAGE_VERSION ${QN_VERSION}-${QN_PACKAGE_RELEASE})

set(qn_doc_dir ${CMAKE_BINARY_DIR}/package-doc)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${qn_doc_dir}/changelog.Debian
               @ONLY)
qn_gzip_file(${qn_doc_dir}/changelog.Debian ${qn_doc_dir}/changelog.Debian.gz)
add_custom_target(package_documents ALL DEPENDS ${qn_man_outputs}
                                                ${qn_doc_dir}/changelog.Debian.gz)
# The copyright notice ends with that of the word list the main dictionary
# is made from.
file(READ ${PROJECT_SOURCE_DIR}/packaging/copyright qn_copyright)
set(QN_WORD_LIST_COPYRIGHT /usr/share/doc/wamerican/copyright CACHE FILEPATH
    "Copyright notice of the word list the main dictionary is made from")
if(EXISTS ${QN_WORD_LIST_COPYRIGHT})
  file(READ ${QN_WORD_LIST_COPYRIGHT} qn_word_list_copyright)
  string(APPEND qn_copyright "${qn_word_list_copyright}")
else()
  message(WARNING "${QN_WORD_LIST_COPYRIGHT} not found: the package's copyright file "
                  "lacks the word list's notice")
endif()
file(WRITE ${qn_doc_dir}/copyright "${qn_copyright}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/packaging/description.txt)
install(FILES ${qn_doc_dir}/copyright ${qn_doc_dir}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillnook)

# The installed programs resolve every symbol at start and keep their
# relocations read-only afterwards (full RELRO).
foreach(program quillnook qntable qnrtf qndict)
  target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
endforeach()

# The Debian package. CPackConfig.cmake gets every value as it is (the
# description holds quotes). Its run-time dependencies are what dpkg-shlibdeps finds
# the programs linked against, and Qt's platform plugins, which the window
# loads at run time and no linker sees.
set(CPACK_GENERATOR DEB)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME quillnook)
set(CPACK_PACKAGE_VERSION ${QN_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillnook developers")
set(CPACK_PACKAGE_CONTACT "${QN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop diary with formatted entries, one for every day")
file(READ ${PROJECT_SOURCE_DIR}/packaging/description.txt CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_HOMEPAGE_URL "${QN_HOMEPAGE}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QN_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Without qt6-wayland a Wayland session shows the window through XWayland;
# the fonts draw Chinese, Japanese and Korean text and emoji that the
# entry's own font lacks.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, fonts-wqy-microhei, fonts-noto-color-emoji")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
