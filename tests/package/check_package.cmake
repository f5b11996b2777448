# Installs the built tree into a fresh prefix, checks what the install holds, then configures,
# builds and runs a consumer project that finds the library with find_package(xkit). Last,
# configures the same consumer over the source tree with add_subdirectory (configuring only:
# building would compile the whole library again).
# Run with cmake -P and: SOURCE_DIR, BUILD_DIR, CONSUMER_DIR, WORK_DIR, CXX_COMPILER,
# BUILD_TYPE, and SANITIZE_FLAGS (the flags the tree was built with, empty for none).
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

foreach(present include/xkit/xFGInt/xFGInt.h include/xkit/xFGInt/BigInt.h
        include/xkit/xFGIntRSA/xFGIntRSA.h include/xkit/crypto/streams.h
        include/xkit/platform/exceptions.h include/xkit/platform/application.h
        include/xkit/xHTTPGet/xHTTPGet.h bin/xkit)
  if(NOT EXISTS "${prefix}/${present}")
    message(FATAL_ERROR "the install lacks ${present}")
  endif()
endforeach()
foreach(internal xFGInt/limbs.h xFGInt/record_limbs.h crypto/aes_engine.h crypto/wipe.h
        platform/http_transfer.h)
  if(EXISTS "${prefix}/include/xkit/${internal}")
    message(FATAL_ERROR "an internal header was installed: ${internal}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${WORK_DIR}/build"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" "-DCMAKE_CXX_FLAGS=${SANITIZE_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/build")
run("${WORK_DIR}/build/consumer")
set(expected "product 15241578753238836750495351562536198787501905199875019052100
md5 900150983CD24FB0D6963F7D28E17F72
aes round trip
rsa A
agent Veltrane HTTPGet
")
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "the consumer printed:\n${output}\nexpected:\n${expected}")
endif()

run(${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${WORK_DIR}/subdirectory"
    "-DXKIT_SOURCE_DIR=${SOURCE_DIR}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
file(REMOVE_RECURSE "${WORK_DIR}")
