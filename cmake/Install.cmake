# Installation and the CMake package: find_package(rkv CONFIG REQUIRED) in
# another project gives the namespaced targets rkv::host, rkv::machine,
# rkv::errors, rkv::ode and rkv::capi.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(RKV_LIBRARIES rkv_host rkv_machine rkv_errors rkv_ode rkv_capi)
foreach(lib IN LISTS RKV_LIBRARIES)
  string(REPLACE "rkv_" "" export_name ${lib})
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${export_name})
endforeach()

install(TARGETS ${RKV_LIBRARIES}
  EXPORT rkvTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
foreach(dir host machine errors ode capi)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endforeach()
if(TARGET trajectory)
  install(TARGETS trajectory RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(RKV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/rkv)
install(EXPORT rkvTargets NAMESPACE rkv:: DESTINATION ${RKV_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/rkvConfig.cmake.in
  ${PROJECT_BINARY_DIR}/rkvConfig.cmake INSTALL_DESTINATION ${RKV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/rkvConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/rkvConfig.cmake ${PROJECT_BINARY_DIR}/rkvConfigVersion.cmake
  DESTINATION ${RKV_CMAKE_DIR})
