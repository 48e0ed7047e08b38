# find_package(cascade): the imported target cascade::cascade.
include("${CMAKE_CURRENT_LIST_DIR}/cascadeTargets.cmake")
