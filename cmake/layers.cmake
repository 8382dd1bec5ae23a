# The layers above the library: host/ and each front end (tools/sidera,
# indi/, alpaca/) build with only their own folder and host/ on the include
# path, never the project root, so that an include that reaches sideways
# ("indi/..." from alpaca/) is not found and fails the build.
#
# sidera_layer_root(<var> <folder>) makes ${CMAKE_BINARY_DIR}/layers/<folder>,
# a directory that holds one link, <folder> -> the source folder, and sets
# <var> to it: on the include path it lets "<folder>/x.h" through and nothing
# else of the source tree.
function(sidera_layer_root var folder)
  string(REPLACE "/" "_" name ${folder})
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  set(${var} ${root} PARENT_SCOPE)
endfunction()
