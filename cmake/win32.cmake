# What the Windows build of vorla_core links besides pugixml, zlib and SQLite:
# the system libraries of the platform layer (src/platform/win32) and, when the
# build script could build it for the target, FLTK for the dialog views.
set(VORLA_WIN32_LIBRARIES wininet ws2_32 user32 winspool)
set(VORLA_WIN32_DEFINITIONS "")
find_library(FLTK_STATIC_LIBRARY NAMES libfltk.a)
if(FLTK_STATIC_LIBRARY)
  list(PREPEND VORLA_WIN32_LIBRARIES ${FLTK_STATIC_LIBRARY} comctl32 comdlg32 ole32 uuid gdi32)
  list(APPEND VORLA_WIN32_DEFINITIONS VORLA_HAVE_FLTK=1)
  message(STATUS "FLTK for the target: ${FLTK_STATIC_LIBRARY}")
else()
  message(STATUS "FLTK for the target: not available, the dialog views are left out")
endif()

# Sources of the core that need a toolkit this Windows build does not have:
# the report renderer (cairo, pango), CUPS and X11 always, the FLTK dialog
# views when FLTK could not be built for the target. They are left out, and
# the Windows stand-ins in src/platform/win32/without_toolkit/ answer for them:
# a view reports that it cannot be shown (the scripted cashier still answers
# every dialog), rendering reports that it is not available.
function(vorla_win32_leave_out_toolkit_sources sources_var)
  set(toolkits "cairo|pango|cups/|X11/")
  if(NOT FLTK_STATIC_LIBRARY)
    string(APPEND toolkits "|FL/")
  endif()
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
    get_filename_component(name ${source} NAME_WE)
    set(stand_in ${CMAKE_SOURCE_DIR}/src/platform/win32/without_toolkit/${name}.cpp)
    if(EXISTS ${stand_in})
      list(APPEND kept ${stand_in})
    else()
      message(WARNING "${source} needs a toolkit the Windows build lacks and has no stand-in (${stand_in})")
    endif()
  endforeach()
  if(left_out)
    string(REPLACE "${CMAKE_SOURCE_DIR}/" "" shown "${left_out}")
    message(STATUS "Left out of the Windows build (toolkit not available for the target): ${shown}")
  endif()
  set(${sources_var} ${kept} PARENT_SCOPE)
endfunction()
