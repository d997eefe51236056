# Installation: the libraries, their public headers, the CMake package
# (find_package(rkv [COMPONENTS host machine errors ode capi])) and the
# pkg-config files rkv.pc (C++) and rkv-c.pc (the C interface). The program is
# installed when it is built (RKV_BUILD_APP).
include(CMakePackageConfigHelpers)

set(RKV_COMPONENTS host machine errors ode capi)
set(RKV_HAS_MPI FALSE)
if(TARGET rkv_mpi)
  set(RKV_HAS_MPI TRUE)
endif()
string(REPLACE ";" ", " RKV_COMPONENTS_TEXT "${RKV_COMPONENTS}")
set(RKV_LIBRARIES "")
foreach(component IN LISTS RKV_COMPONENTS)
  list(APPEND RKV_LIBRARIES rkv_${component})
endforeach()

install(TARGETS ${RKV_LIBRARIES}
  EXPORT rkvTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Only the public headers: each library's include/ (private ones are in src/).
foreach(dir IN LISTS RKV_COMPONENTS)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endforeach()
if(RKV_HAS_MPI)
  install(TARGETS rkv_mpi
    EXPORT rkvMpiTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/mpi/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  string(APPEND RKV_COMPONENTS_TEXT ", mpi")
endif()
install(FILES ${PROJECT_BINARY_DIR}/include/rkv/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rkv)
if(RKV_BUILD_APP)
  install(TARGETS trajectory RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(RKV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/rkv)
install(EXPORT rkvTargets NAMESPACE rkv:: DESTINATION ${RKV_CMAKE_DIR})
if(RKV_HAS_MPI)
  install(EXPORT rkvMpiTargets NAMESPACE rkv:: DESTINATION ${RKV_CMAKE_DIR})
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/rkvConfig.cmake.in
  ${PROJECT_BINARY_DIR}/rkvConfig.cmake INSTALL_DESTINATION ${RKV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/rkvConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/rkvConfig.cmake ${PROJECT_BINARY_DIR}/rkvConfigVersion.cmake
  DESTINATION ${RKV_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own place, so that the
# installed tree can be moved (and installed with --prefix).
set(RKV_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH RKV_PC_PREFIX ${CMAKE_INSTALL_PREFIX}/${RKV_PKGCONFIG_DIR} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" RKV_PC_PREFIX "${RKV_PC_PREFIX}")
set(RKV_PC_LIBS_PRIVATE "")
foreach(lib IN LISTS RKV_CXX_RUNTIME)
  string(APPEND RKV_PC_LIBS_PRIVATE " -l${lib}")
endforeach()
string(STRIP "${RKV_PC_LIBS_PRIVATE}" RKV_PC_LIBS_PRIVATE)
foreach(pc rkv rkv-c)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${RKV_PKGCONFIG_DIR})
endforeach()
