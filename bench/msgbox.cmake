# The message-box figures: Win32 only, built with -DORVANDEL_BENCH=ON.
add_executable(orvandel_bench_msgbox ${CMAKE_CURRENT_LIST_DIR}/bench_msgbox.cpp
               ${PROJECT_SOURCE_DIR}/tests/acceptance/box_driver.cpp)
target_link_libraries(orvandel_bench_msgbox PRIVATE orvandel_host_link oleaut32 user32)
target_link_options(orvandel_bench_msgbox PRIVATE -static)
set_target_properties(orvandel_bench_msgbox PROPERTIES RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:Orvandel>)
