# Run by CPack before it writes the packages of a build that installs
# elsewhere than /usr (packaging/CMakeLists.txt).
message(FATAL_ERROR "Debian packages install into /usr: configure the build with "
                    "-DCMAKE_INSTALL_PREFIX=/usr, or let scripts/package make them")
