# Installation rules for velmora, its interface and its desktop entry.
#
# velmora keeps its data/ folder beside the executable, so it is installed into a prefix
# the user owns: <prefix>/lib/velmora/{velmora,ui/}, a link <prefix>/bin/velmora, the
# desktop entry in <prefix>/share/applications and the icon in the hicolor theme.
#
# This file has three uses:
#  - included from the top-level CMakeLists.txt: declares the install rules;
#  - run by the install step with VLM_INSTALL_STEP=desktop-entry: writes the desktop entry
#    and installs the icon, both of which depend on the prefix and the icon chosen then;
#  - run as `cmake -DVLM_INSTALL_MANIFEST=<install_manifest.txt> -P cmake/install.cmake`:
#    removes what that install put in place, and nothing else.

if(VLM_INSTALL_MANIFEST)
  if(NOT EXISTS "${VLM_INSTALL_MANIFEST}")
    message(FATAL_ERROR "uninstall: ${VLM_INSTALL_MANIFEST} does not exist; nothing was installed from this build")
  endif()
  file(STRINGS "${VLM_INSTALL_MANIFEST}" Installed)
  set(OwnFolders)
  foreach(File IN LISTS Installed)
    if(EXISTS "${File}" OR IS_SYMLINK "${File}")
      message(STATUS "Removing ${File}")
      file(REMOVE "${File}")
    endif()
    # Folders under lib/velmora are the program's own; shared ones (bin, share/...) stay.
    if(File MATCHES "^(.*/lib/velmora)(/.*)?/[^/]+$")
      list(APPEND OwnFolders "${CMAKE_MATCH_1}${CMAKE_MATCH_2}" "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES OwnFolders)
  # Deepest first; a folder that still holds something (data/, say) is kept.
  list(SORT OwnFolders ORDER DESCENDING)
  foreach(Folder IN LISTS OwnFolders)
    file(GLOB Left "${Folder}/*" "${Folder}/.*")
    if(IS_DIRECTORY "${Folder}" AND NOT Left)
      file(REMOVE_RECURSE "${Folder}")
    endif()
  endforeach()
  return()
endif()

if(VLM_INSTALL_STEP STREQUAL "desktop-entry")
  set(Program "${CMAKE_INSTALL_PREFIX}/bin/velmora")
  # Exec is quoted as a whole, so that a prefix with spaces stays one word; inside the
  # quotes ", `, $ and \ are escaped, and every \ is doubled once more for the file's syntax.
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" Exec "${Program}")
  string(REPLACE "\\" "\\\\" Exec "${Exec}")
  file(WRITE "${VLM_STAGING_DIR}/velmora.desktop"
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Velmora\n"
    "Comment=Job listings, saved jobs and notes\n"
    "Exec=\"${Exec}\"\n"
    "Icon=velmora\n"
    "Terminal=false\n"
    "Categories=Office;\n"
    "StartupWMClass=velmora\n")
  file(INSTALL "${VLM_STAGING_DIR}/velmora.desktop" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")

  # The theme files icons by size: the PNG's own width, read from its header.
  if(NOT EXISTS "${VLM_ICON}")
    message(WARNING "No ${VLM_ICON}: velmora is installed without its icon")
    return()
  endif()
  file(READ "${VLM_ICON}" Header LIMIT 24 HEX)
  if(NOT Header MATCHES "^89504e470d0a1a0a........49484452(........)")
    message(FATAL_ERROR "${VLM_ICON} is not a PNG file")
  endif()
  math(EXPR Size "0x${CMAKE_MATCH_1}")
  file(MAKE_DIRECTORY "${VLM_STAGING_DIR}/icon")
  configure_file("${VLM_ICON}" "${VLM_STAGING_DIR}/icon/velmora.png" COPYONLY)
  file(INSTALL "${VLM_STAGING_DIR}/icon/velmora.png"
       DESTINATION "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/${Size}x${Size}/apps")
  return()
endif()

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local" CACHE PATH "Where velmora is installed; must be writable by its user" FORCE)
endif()

install(TARGETS velmora RUNTIME DESTINATION lib/velmora COMPONENT velmora)
# The interface as the build tree serves it: the page, its images and the icon font.
install(FILES
  ${PROJECT_BINARY_DIR}/ui/index.html
  ${PROJECT_BINARY_DIR}/ui/app-icon.png
  ${PROJECT_BINARY_DIR}/ui/official-logo.png
  ${PROJECT_BINARY_DIR}/ui/fontawesome.ttf
  DESTINATION lib/velmora/ui COMPONENT velmora)

# A relative link, so that the installed tree can be moved as a whole; velmora resolves
# it to find its own folder.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install-link)
file(CREATE_LINK ../lib/velmora/velmora ${PROJECT_BINARY_DIR}/install-link/velmora SYMBOLIC)
install(FILES ${PROJECT_BINARY_DIR}/install-link/velmora DESTINATION bin COMPONENT velmora)

install(CODE "
  set(VLM_INSTALL_STEP desktop-entry)
  set(VLM_STAGING_DIR \"${PROJECT_BINARY_DIR}/install-staging\")
  set(VLM_ICON \"${PROJECT_BINARY_DIR}/ui/app-icon.png\")
  include(\"${CMAKE_CURRENT_LIST_FILE}\")
  unset(VLM_INSTALL_STEP)
" COMPONENT velmora)
