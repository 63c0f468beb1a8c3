# Turns the bare executable into the shipped one: the sample firmware package
# is generated and appended by host-built tools, as part of the default build.
#
# The tools must run on the build machine, so they come from a second build of
# this source tree with the host compiler. Only the package tools are built
# there, and the cross toolchain is kept out of it: a toolchain file or
# compiler named in the environment would otherwise be picked up again.
include(ExternalProject)

set(KR_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(KR_HOST_KRPACK ${KR_HOST_TOOLS_DIR}/package/krpack/krpack)
set(KR_HOST_SAMPLE_IMAGES ${KR_HOST_TOOLS_DIR}/package/sample/kr_sample_images)

ExternalProject_Add(kr_host_tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${KR_HOST_TOOLS_DIR}
  CMAKE_COMMAND ${CMAKE_COMMAND} -E env --unset=CMAKE_TOOLCHAIN_FILE --unset=CC --unset=CXX
                ${CMAKE_COMMAND}
  CMAKE_ARGS -DKR_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target krpack kr_sample_images
  # The host build tracks its own sources; running it each time keeps the
  # tools current and costs nothing when they are.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${KR_HOST_KRPACK} ${KR_HOST_SAMPLE_IMAGES}
  INSTALL_COMMAND ""
  TEST_COMMAND "")

set(KR_SAMPLE_DIR ${CMAKE_BINARY_DIR}/sample-package)
set(KR_SAMPLE_RECORD ${KR_SAMPLE_DIR}/record.txt)
set(KR_SAMPLE_IMAGES)
foreach(image RANGE 4)
  list(APPEND KR_SAMPLE_IMAGES ${KR_SAMPLE_DIR}/image${image}.bin)
endforeach()

add_custom_command(
  OUTPUT ${KR_SAMPLE_IMAGES} ${KR_SAMPLE_RECORD}
  COMMAND ${KR_HOST_SAMPLE_IMAGES} ${KR_SAMPLE_DIR}
  DEPENDS kr_host_tools ${KR_HOST_SAMPLE_IMAGES}
  COMMENT "Generating the sample firmware package"
  VERBATIM)

set(KR_PACKAGED_EXE ${CMAKE_BINARY_DIR}/KrEFM8SwUpgrade.exe)
add_custom_command(
  OUTPUT ${KR_PACKAGED_EXE}
  COMMAND ${KR_HOST_KRPACK} append --exe $<TARGET_FILE:KrEFM8SwUpgradeBare>
          --record-file ${KR_SAMPLE_RECORD} --out ${KR_PACKAGED_EXE} ${KR_SAMPLE_IMAGES}
  DEPENDS KrEFM8SwUpgradeBare $<TARGET_FILE:KrEFM8SwUpgradeBare> kr_host_tools ${KR_HOST_KRPACK}
          ${KR_SAMPLE_IMAGES} ${KR_SAMPLE_RECORD}
  COMMENT "Appending the firmware package: KrEFM8SwUpgrade.exe"
  VERBATIM)

add_custom_target(KrEFM8SwUpgrade ALL DEPENDS ${KR_PACKAGED_EXE})
