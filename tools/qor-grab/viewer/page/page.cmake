# The viewer's page is plain HTML, CSS and JavaScript in this folder; the
# build turns it into a generated source of qor_grab_core.
set(QOR_VIEWER_PAGE_FILES index.html viewer.css viewer.js)
set(page_dir ${CMAKE_CURRENT_LIST_DIR})
set(page_source ${CMAKE_CURRENT_BINARY_DIR}/viewer_page_files.cpp)
list(TRANSFORM QOR_VIEWER_PAGE_FILES PREPEND ${page_dir}/ OUTPUT_VARIABLE page_inputs)
add_custom_command(OUTPUT ${page_source}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${page_source} -DPAGE_DIR=${page_dir}
          "-DFILES=${QOR_VIEWER_PAGE_FILES}" -P ${page_dir}/embed_page.cmake
  DEPENDS ${page_inputs} ${page_dir}/embed_page.cmake
  COMMENT "Embedding the viewer page" VERBATIM)
target_sources(qor_grab_core PRIVATE ${page_source})
