# rkv_add_library(<name> SOURCES <files...> [DEPENDS <names...>])
#
# One library of the project, from <folder>/src with its public headers in
# <folder>/include, in three targets:
#   rkv_<name>_objects   the sources, compiled once (hidden visibility: only
#                        what the public headers mark is exported)
#   rkv_<name>           the library users link, static or shared as
#                        BUILD_SHARED_LIBS says; alias rkv::<name>, exported
#                        and installed as rkv::<name>
#   rkv_<name>_internal  for the tests, benchmarks, fuzzers and tools that
#                        reach inside: the same objects with the private
#                        headers of <folder>/src. In a static build it is the
#                        library itself; in a shared build a static archive of
#                        the same objects over the other internal archives, so
#                        that the routines the shared library does not export
#                        are reachable and each program holds one copy of the
#                        library's state.
# DEPENDS names the rkv libraries this one calls (without the prefix).
function(rkv_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  set(lib rkv_${name})
  set(deps "")
  set(internal_deps "")
  foreach(dep IN LISTS ARG_DEPENDS)
    list(APPEND deps rkv_${dep})
    list(APPEND internal_deps rkv_${dep}_internal)
  endforeach()

  add_library(${lib}_objects OBJECT ${ARG_SOURCES})
  target_include_directories(${lib}_objects
    PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
    PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  # The dependencies' headers and usage requirements (objects link nothing).
  target_link_libraries(${lib}_objects PUBLIC ${deps} PRIVATE rkv_options)
  target_compile_features(${lib}_objects PUBLIC cxx_std_20)
  set_target_properties(${lib}_objects PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(RKV_SHARED)
    # Otherwise CMAKE_POSITION_INDEPENDENT_CODE decides, e.g. for a user who
    # links the static libraries into a shared library of their own.
    set_target_properties(${lib}_objects PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()

  add_library(${lib} $<TARGET_OBJECTS:${lib}_objects>)
  add_library(rkv::${name} ALIAS ${lib})
  target_include_directories(${lib} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(${lib} PUBLIC cxx_std_20)
  target_link_libraries(${lib} PUBLIC ${deps})
  set_target_properties(${lib} PROPERTIES
    LINKER_LANGUAGE CXX
    EXPORT_NAME ${name}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    # The other libraries of an installed shared build sit beside this one.
    INSTALL_RPATH "$ORIGIN")
  if(RKV_SHARED)
    target_link_options(${lib} PRIVATE ${RKV_RUNPATH_FLAGS})
  endif()

  if(RKV_SHARED)
    add_library(${lib}_internal STATIC $<TARGET_OBJECTS:${lib}_objects>)
    target_include_directories(${lib}_internal PUBLIC
      ${CMAKE_CURRENT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_compile_features(${lib}_internal PUBLIC cxx_std_20)
    target_link_libraries(${lib}_internal PUBLIC ${internal_deps})
    set_target_properties(${lib}_internal PROPERTIES LINKER_LANGUAGE CXX)
  else()
    add_library(${lib}_internal INTERFACE)
    target_include_directories(${lib}_internal INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${lib}_internal INTERFACE ${lib})
  endif()
endfunction()

# A public header (<folder>/include/rkv/...; every file there is installed)
# marks what it declares for export: after its own #includes,
#   #pragma GCC visibility push(default)
# before the declarations and
#   #pragma GCC visibility pop
# at the end (in a C header, inside or around its extern "C" block alike).
# Everything else of the libraries keeps the hidden default, so a shared
# library exports its public routines and nothing more. .ci/consumer.sh
# checks that every installed header does this.
