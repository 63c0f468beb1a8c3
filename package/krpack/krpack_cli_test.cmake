# Drives the krpack command line end to end: generates the sample images,
# appends them to a stand-in executable, shows the result, and checks that
# every kind of refusal ends with exit code 1, one line on stderr and no output
# file. Run as: cmake -DKRPACK=... -DSAMPLE_IMAGES=... -DWORK=... -P this file
foreach(variable KRPACK SAMPLE_IMAGES WORK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Runs a command and checks its exit code; a failing run must say one line.
function(expect_run expected_code)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code STREQUAL expected_code)
    message(FATAL_ERROR "${ARGN}\nexited with ${code}, expected ${expected_code}\n${out}${err}")
  endif()
  if(NOT expected_code STREQUAL "0" AND NOT err MATCHES "^krpack: [^\n]+\n$")
    message(FATAL_ERROR "${ARGN}\nstderr is not one 'krpack: ...' line:\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_text text pattern)
  string(FIND "${text}" "${pattern}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected '${pattern}' in:\n${text}")
  endif()
endfunction()

execute_process(COMMAND "${SAMPLE_IMAGES}" "${WORK}/sample" RESULT_VARIABLE code)
if(NOT code STREQUAL "0")
  message(FATAL_ERROR "kr_sample_images exited with ${code}")
endif()
set(images)
foreach(k RANGE 4)
  list(APPEND images "${WORK}/sample/image${k}.bin")
endforeach()
string(REPEAT "x" 100000 executable)
file(WRITE "${WORK}/bare.exe" "${executable}")
set(append "${KRPACK}" append --exe "${WORK}/bare.exe")

# A good package, appended and shown.
expect_run(0 ${append} --record-file "${WORK}/sample/record.txt" --out "${WORK}/out.exe" ${images})
file(SIZE "${WORK}/out.exe" size)
if(NOT size EQUAL 527311)
  message(FATAL_ERROR "out.exe is ${size} bytes, expected 527311")
endif()
expect_run(0 "${KRPACK}" show "${WORK}/out.exe")
foreach(line "signature      none" "package end    at 527311, the end of the file"
             "image 0        at 100034, 17843 bytes, sum 0xAE17"
             "image 1        at 117911, 8192 bytes" "image 2        at 126137, 262144 bytes"
             "image 3        at 388315, 512 bytes" "image 4        at 388861, 138416 bytes, sum 0x37A1"
             "vendor ID      0x10C4" "product ID     0xF607" "update plan    3"
             "version text   Tool Ver:E117C Code Ver:E117  2021/05/26")
  expect_text("${out}" "${line}")
endforeach()

# The record given as text works the same way.
expect_run(0 ${append} --record "5A/V205/2022/01/31/KR/10c4/f607/2/" --out "${WORK}/v205.exe"
           ${images})
expect_run(0 "${KRPACK}" show "${WORK}/v205.exe")
expect_text("${out}" "Tool Ver:V205C Code Ver:V205  2022/01/31")

# Refusals: one line each, nothing written.
expect_run(1 ${append} --record "5A/E117/2021/05/26/KR/10c4/f6x7/3/" --out "${WORK}/bad.exe"
           ${images})
expect_text("${err}" "product ID")
expect_run(1 ${append} --record "5A/E117/2021/05/26/KR/10c4/f607/3" --out "${WORK}/bad.exe"
           ${images})
expect_text("${err}" "33 bytes")
file(WRITE "${WORK}/empty.bin" "")
list(GET images 0 image0)
list(GET images 1 image1)
list(GET images 3 image3)
list(GET images 4 image4)
expect_run(1 ${append} --record-file "${WORK}/sample/record.txt" --out "${WORK}/bad.exe"
           "${image0}" "${image1}" "${WORK}/empty.bin" "${image3}" "${image4}")
expect_text("${err}" "image 2 is empty")
if(EXISTS "${WORK}/bad.exe" OR EXISTS "${WORK}/bad.exe.partial")
  message(FATAL_ERROR "a refused append left a file behind")
endif()

# An existing output survives a refusal untouched.
file(WRITE "${WORK}/keep.exe" "previous build")
expect_run(1 ${append} --record "5B/E117/2021/05/26/KR/10c4/f607/3/" --out "${WORK}/keep.exe"
           ${images})
file(READ "${WORK}/keep.exe" kept)
if(NOT kept STREQUAL "previous build")
  message(FATAL_ERROR "a refused append changed an existing output")
endif()

# Command-line mistakes.
list(SUBLIST images 0 4 four_images)
expect_run(1 "${KRPACK}")
expect_run(1 "${KRPACK}" pack)
expect_run(1 ${append} --record-file "${WORK}/sample/record.txt" ${images})
expect_text("${err}" "--out")
expect_run(1 ${append} --out "${WORK}/bad.exe" ${images})
expect_text("${err}" "--record")
expect_run(1 ${append} --record x --record-file y --out "${WORK}/bad.exe" ${images})
expect_run(1 ${append} --record-file "${WORK}/sample/record.txt" --out "${WORK}/bad.exe"
           ${four_images})
expect_text("${err}" "got 4")
expect_run(1 ${append} --record-file "${WORK}/sample/record.txt" --out "${WORK}/bad.exe"
           --verbose ${images})
expect_run(1 ${append} --exe "${WORK}/bare.exe")
expect_text("${err}" "given twice")
expect_run(1 ${append} --out)
expect_text("${err}" "needs a value")
expect_run(0 "${KRPACK}" --help)
expect_text("${out}" "krpack append --exe IN.exe")
expect_text("${out}" "append first,")

# show: the loader's numbered failure, or a file that is not there.
expect_run(1 "${KRPACK}" show "${WORK}/bare.exe")
expect_text("${err}" "ISP error 61!")
expect_run(1 "${KRPACK}" show "${WORK}/missing.exe")
expect_run(1 "${KRPACK}" show)

file(REMOVE_RECURSE "${WORK}")
