# Defines the interface target `cloudpatient_dcmtk` (dcmdata with oflog and
# ofstd) once, for every tool that reads or writes DICOM files, and
# `dicomtext`, the tag reading those tools share. Debian's DCMTK
# config package works on bookworm; the plain library search is the fallback
# for installs whose config files are missing or broken.
if(NOT TARGET cloudpatient_dcmtk)
  add_library(cloudpatient_dcmtk INTERFACE)
  find_package(DCMTK CONFIG QUIET)
  if(TARGET DCMTK::dcmdata)
    target_link_libraries(cloudpatient_dcmtk INTERFACE DCMTK::dcmdata DCMTK::oflog DCMTK::ofstd)
  else()
    find_path(CLOUDPATIENT_DCMTK_INCLUDE dcmtk/dcmdata/dctk.h REQUIRED)
    find_library(CLOUDPATIENT_DCMDATA dcmdata REQUIRED)
    find_library(CLOUDPATIENT_OFLOG oflog REQUIRED)
    find_library(CLOUDPATIENT_OFSTD ofstd REQUIRED)
    target_include_directories(cloudpatient_dcmtk SYSTEM INTERFACE ${CLOUDPATIENT_DCMTK_INCLUDE})
    target_link_libraries(cloudpatient_dcmtk INTERFACE
      ${CLOUDPATIENT_DCMDATA} ${CLOUDPATIENT_OFLOG} ${CLOUDPATIENT_OFSTD})
  endif()

  add_library(dicomtext STATIC ${CMAKE_CURRENT_LIST_DIR}/dicomtext.h ${CMAKE_CURRENT_LIST_DIR}/dicomtext.cpp)
  cloudpatient_warnings(dicomtext)
  target_include_directories(dicomtext PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(dicomtext PUBLIC Qt5::Core cloudpatient_dcmtk)
endif()
