# The embedded images are drawn at build time from the *.images lists in resources/.
# Included from the top-level CMakeLists so the generated source is seen by appcore.
set(RES_DIR ${PROJECT_SOURCE_DIR}/resources)
add_executable(imagegen ${RES_DIR}/imagegen/main.cpp)
target_link_libraries(imagegen PRIVATE Qt5::Gui)

file(GLOB_RECURSE ORBELIN_IMAGE_LISTS CONFIGURE_DEPENDS ${RES_DIR}/*.images)
list(SORT ORBELIN_IMAGE_LISTS)
set(IMAGE_DIR ${CMAKE_BINARY_DIR}/resources/images)
set(IMAGE_QRC ${CMAKE_BINARY_DIR}/resources/orbelin_images.qrc)
set(IMAGE_CPP ${CMAKE_BINARY_DIR}/resources/qrc_orbelin_images.cpp)
get_target_property(RCC_EXECUTABLE Qt5::rcc IMPORTED_LOCATION)

add_custom_command(
    OUTPUT ${IMAGE_CPP}
    COMMAND imagegen ${IMAGE_DIR} ${IMAGE_QRC} ${ORBELIN_IMAGE_LISTS}
    COMMAND ${RCC_EXECUTABLE} -name orbelin_images -o ${IMAGE_CPP} ${IMAGE_QRC}
    DEPENDS imagegen ${ORBELIN_IMAGE_LISTS}
    COMMENT "Drawing the embedded images"
    VERBATIM)
set_source_files_properties(${IMAGE_CPP} PROPERTIES GENERATED TRUE SKIP_AUTOMOC TRUE SKIP_AUTOUIC TRUE)

target_sources(appcore PRIVATE ${IMAGE_CPP} ${RES_DIR}/Resources.h ${RES_DIR}/Resources.cpp)
