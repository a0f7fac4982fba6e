# The Debian package `vellora`, made by CPack from the installation: `cpack -G DEB`
# in the build folder or the `package` target (scripts/package.sh does both steps).
# The paths Debian's hosts look in (LIBDIR's multiarch folders) exist only under
# the /usr prefix, so the package is made from a build configured for /usr.
set(VELLORA_PACKAGE_MAINTAINER "Vellora developers <vellora@example.org>" CACHE STRING
  "Maintainer field of the Debian package")

# Debian's changelog for the package, as lintian expects one beside the copyright.
string(TIMESTAMP VELLORA_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
  COMMAND gzip -9nkf ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian)
add_custom_target(vellora_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellora)
set(CPACK_PACKAGE_VENDOR "Vellora developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELLORA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "soft-mask video effect for Kdenlive, Shotcut, MLT, ffmpeg and GStreamer")
# Debian's description: lines under 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Vellora rewrites a layer's alpha channel with a parametric soft mask: an"
  "ellipse or rectangle with a width, height, angle and feather band, one of six"
  "falloff curves, an opacity, an invert switch and four composite modes."
  "."
  "The package holds the effect's plug-in module, the vellora command (render,"
  "inspect, validate, an interactive window), a frei0r filter for ffmpeg, MLT"
  "and GStreamer, and a native MLT filter with the descriptors Kdenlive and"
  "Shotcut show.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELLORA_PACKAGE_MAINTAINER}")
# Dependencies are what the binaries link, found by dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "kdenlive, shotcut, melt, ffmpeg, gstreamer1.0-tools")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/;/build[^/]*/")

# One package a component, from the same build: `vellora` and the OBS
# filter's `vellora-obs`, which depends on it, so installing Vellora alone
# never pulls in OBS's libraries.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_VELLORA_PACKAGE_NAME vellora)
set(CPACK_DEBIAN_VELLORA_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_OBS_PACKAGE_NAME vellora-obs)
set(CPACK_DEBIAN_OBS_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_OBS_PACKAGE_DEPENDS "vellora (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")
set(CPACK_DEBIAN_OBS_PACKAGE_ENHANCES obs-studio)
string(JOIN "\n" CPACK_DEBIAN_OBS_DESCRIPTION
  "soft-mask video filter for OBS Studio"
  "The OBS Studio filter \"Vellora Mask\" puts Vellora's parametric soft mask on"
  "the alpha channel of any video source (cameras, media, images, captures,"
  "scenes and groups): an ellipse or rectangle with a width, height, angle and"
  "feather band, one of six falloff curves, an opacity, an invert switch and"
  "four composite modes, set in the filter's properties or by obs-websocket.")
# The Python module's `python3-vellora`, likewise; the module is built for
# one Python minor version (its file name says which), so the package names it.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vellora)
set(CPACK_DEBIAN_PYTHON_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
string(JOIN ", " CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
  "vellora (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})"
  "python3 (>= ${VELLORA_PYTHON_VERSION})" "python3 (<< ${VELLORA_PYTHON_NEXT_VERSION})" "python3-numpy")
string(JOIN "\n" CPACK_DEBIAN_PYTHON_DESCRIPTION
  "soft-mask video effect for Python (NumPy frames)"
  "The Python 3 module vellora renders Vellora's parametric soft mask into the"
  "alpha channel of NumPy RGBA frames (8-bit, 16-bit and float), one frame or"
  "a keyframed clip at a time, and draws the mask's on-screen handles; values"
  "are named as the vellora command names them.")
# Each package's own documentation folder, as Debian wants of every package.
foreach(doc_package vellora-obs:obs python3-vellora:python)
  string(REPLACE ":" ";" doc_package ${doc_package})
  list(GET doc_package 0 doc_name)
  list(GET doc_package 1 doc_component)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${doc_name} COMPONENT ${doc_component})
endforeach()
# CPack would put the project's summary before every component's description:
# each one's first line is its own summary instead.
set(CPACK_DEBIAN_VELLORA_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n${CPACK_PACKAGE_DESCRIPTION}")
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)

# Refuse, when CPack runs, a package from a build whose paths are not Debian's.
set(VELLORA_CONFIGURED_PREFIX ${CMAKE_INSTALL_PREFIX})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/PackageCheck.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/PackageCheck.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/PackageCheck.cmake)

include(CPack)
