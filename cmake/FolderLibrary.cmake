# Each library sees only its own headers and those of the libraries it links: its include
# root is a folder in the build tree holding one link, <name> -> its source folder, and
# that root is exported to whatever links it. An upward include (the engine reaching for
# data/, check/ reaching for app/) then names no file and fails to build. The layers inside
# the engine, one library, are held by cmake/check_includes.py, which runs as a test.

# mdbcheck_include_root(TARGET NAME SOURCE): TARGET's root holds NAME -> SOURCE. NAME may
# have folders ("jet/sql").
function(mdbcheck_include_root target name source)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  mdbcheck_link_into(${root}/${name} ${source})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# mdbcheck_link_into(LINK SOURCE): a symbolic link LINK -> SOURCE, its folder made first.
function(mdbcheck_link_into link source)
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(IS_SYMLINK ${link})
    file(REMOVE ${link})
  endif()
  file(CREATE_LINK ${source} ${link} SYMBOLIC)
endfunction()

# mdbcheck_folder_library(NAME DEPS...): a static library of every .cpp in the current
# folder (an interface library while the folder holds only headers), included as
# "<folder>/…".
function(mdbcheck_folder_library name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
  mdbcheck_include_root(${name} ${folder} ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()
