# SPDX-License-Identifier: GPL-3.0-or-later
# Two Debian packages from one build, made by `cpack -G DEB` in the build folder:
#   kavelod  the service: kavelod, its user and system units, kavelo-adapter
#   kavelo   the desktop program: kavelo, its help pages, desktop entry, icons
#            and metainfo; it depends on kavelod, which `kavelo --headless` runs.
# Every install() names one of the two as its COMPONENT. Each setting below that
# is there for Debian's policy (and lintian) says why.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kavelo developers <developers@kavelo.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_STRIP_FILES ON)

# One .deb a component, named as Debian names them: kavelod_1.1_amd64.deb.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_COMPONENTS_ALL kavelod kavelo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_KAVELOD_PACKAGE_NAME kavelod)
set(CPACK_DEBIAN_KAVELO_PACKAGE_NAME kavelo)

# Both come from one source, kavelo, whose changelog they share; the version
# has no Debian revision, so the changelog is changelog.gz.
set(CPACK_DEBIAN_PACKAGE_SOURCE kavelo)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: from the libraries each program links (dpkg-shlibdeps), and
# libmosquitto1 for the broker of the house, which the programs load when a
# broker is set rather than link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Control files 0644 and scripts 0755, whatever their modes in the source tree.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The descriptions: the first line is the synopsis, the rest the extended
# description. CPACK_PACKAGE_DESCRIPTION_SUMMARY stays unset: CPack would put it
# in front of each, which would then have two synopsis lines.
set(about
"Kavelo lets an X10 RF remote control drive a music player: a Music Player
Daemon (MPD) or an MPRIS 2 player. An X10 RF receiver adapter on a serial
port hands every key press to Kavelo, which turns the keys of the chosen
house code and unit bank into player actions: load one of eight playlists,
pause, back five seconds, previous, next, thumbs up or down, shuffle, volume.
")
set(CPACK_DEBIAN_KAVELOD_DESCRIPTION
"X10 RF remote control for MPD and MPRIS players (service)
${about}
This package holds kavelod, Kavelo without a window or any GUI library, with
a systemd user unit for a desktop session and a hardened system unit that
runs it under its own user on a music server, and kavelo-adapter, which
emulates an adapter on a pseudo-terminal for trying Kavelo without hardware.")
set(CPACK_DEBIAN_KAVELO_DESCRIPTION
"X10 RF remote control for MPD and MPRIS players (desktop program)
${about}
This package holds the desktop program: a main window showing the last
command and the thumbs-up and thumbs-down lists, a setup window for the
serial port, the adapter, the house code, the playlists and the volume step,
and a help browser.")

# The system unit's user is made by systemd-sysusers in postinst. With no
# player running, kavelod opens a playlist with the desktop's default
# application (xdg-open, or gio for a player's own desktop entry).
set(CPACK_DEBIAN_KAVELOD_PACKAGE_DEPENDS
    "systemd | systemd-standalone-sysusers | systemd-sysusers, libmosquitto1 (>= 2.0)")
set(CPACK_DEBIAN_KAVELOD_PACKAGE_SUGGESTS "mpd, mosquitto, xdg-utils, libglib2.0-bin")
set(CPACK_DEBIAN_KAVELOD_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/resources/debian/kavelod/postinst
    ${PROJECT_SOURCE_DIR}/resources/debian/kavelod/prerm
    ${PROJECT_SOURCE_DIR}/resources/debian/kavelod/postrm)
set(CPACK_DEBIAN_KAVELO_PACKAGE_DEPENDS "kavelod (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_KAVELO_PACKAGE_RECOMMENDS "xdg-utils, libglib2.0-bin")
set(CPACK_DEBIAN_KAVELO_PACKAGE_SUGGESTS "mpd, mpv-mpris")

include(CPack)
