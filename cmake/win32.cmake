# What the Windows build of vorla_core links besides pugixml, zlib and SQLite:
# the system libraries of the platform layer (src/platform/win32), its dialog
# views and its report renderer.
set(VORLA_WIN32_LIBRARIES wininet ws2_32 user32 gdi32 comdlg32 imm32 winspool)
set(VORLA_WIN32_DEFINITIONS "")

# The Windows views of the dialogs and the preview (Win32) and the report
# renderer (GDI).
file(GLOB VORLA_WIN32_TOOLKIT_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/platform/win32/views/*.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/win32/report/*.cpp)

# Sources of the core that draw with the Linux toolkits (FLTK, cairo, pango,
# CUPS, X11) are left out of the Windows build; the file of the same name among
# the Windows views and renderer (VORLA_WIN32_TOOLKIT_SOURCES) takes each one's
# place, with the same entry points.
function(vorla_win32_leave_out_toolkit_sources sources_var)
  set(toolkits "cairo|pango|cups/|X11/|FL/")
  set(kept "")
  set(left_out "")
  foreach(source IN LISTS ${sources_var})
    file(STRINGS ${source} toolkit_includes REGEX "^[ \t]*#[ \t]*include[ \t]*<(${toolkits})")
    if(toolkit_includes)
      list(APPEND left_out ${source})
    else()
      list(APPEND kept ${source})
    endif()
  endforeach()
  foreach(source IN LISTS left_out)
    get_filename_component(name ${source} NAME)
    set(found FALSE)
    foreach(windows_source IN LISTS VORLA_WIN32_TOOLKIT_SOURCES)
      get_filename_component(windows_name ${windows_source} NAME)
      if(windows_name STREQUAL name)
        set(found TRUE)
      endif()
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "${source} needs a Linux toolkit and has no Windows counterpart in src/platform/win32/views or src/platform/win32/report")
    endif()
  endforeach()
  list(APPEND kept ${VORLA_WIN32_TOOLKIT_SOURCES})
  set(${sources_var} ${kept} PARENT_SCOPE)
endfunction()
