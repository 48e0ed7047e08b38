# The blocks of the README and of docs/*.md run as one test a page, so that
# ctest -j runs the pages side by side: python_docs_<page>_test, for each page
# that has a runnable block. The pages are read again whenever one changes or
# one is added; python_docs_pages_test fails if the tests registered are not
# every page with a runnable block, each once.
file(GLOB docs_pages CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/docs/*.md")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${PROJECT_SOURCE_DIR}/README.md" ${docs_pages} "${CMAKE_CURRENT_SOURCE_DIR}/python/markdown_pages.py")
execute_process(COMMAND "${CASCADE_PYTHON_EXECUTABLE}" "${CMAKE_CURRENT_SOURCE_DIR}/python/markdown_pages.py"
                OUTPUT_VARIABLE runnable_pages COMMAND_ERROR_IS_FATAL ANY)

foreach(page ${runnable_pages})
  get_filename_component(stem "${page}" NAME_WE)
  string(TOLOWER "${stem}" stem)
  string(MAKE_C_IDENTIFIER "${stem}" stem)
  cascade_python_test(python_docs_${stem}_test test_docs.py "CASCADE_DOCS_PAGE=${page}")
endforeach()
string(REPLACE ";" "," registered_pages "${runnable_pages}")
cascade_python_test(python_docs_pages_test test_docs_pages.py "CASCADE_DOCS_PAGES=${registered_pages}")
