# Writes the project of a book whose objects hold zero bytes: a page whose
# text ends at a zero byte near its start, with 200,000 bytes after it, and a
# file of zeros of the same length, beside ordinary pages.
#   cmake -DPROJECT_DIR=<folder> -DNAME=<name> -P make-zeros-book.cmake
file(MAKE_DIRECTORY ${PROJECT_DIR})
file(WRITE ${PROJECT_DIR}/first.htm "<html><body>first</body></html>\n")
file(WRITE ${PROJECT_DIR}/last.htm "<html><body>last</body></html>\n")
execute_process(COMMAND sh -c "printf '<html>cut'; head -c 200000 /dev/zero" OUTPUT_FILE ${PROJECT_DIR}/cut.htm)
execute_process(COMMAND head -c 200000 /dev/zero OUTPUT_FILE ${PROJECT_DIR}/zeros.bin)
set(entries "")
foreach(page first cut last)
  string(APPEND entries "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"${page}\">"
         "<param name=\"Local\" value=\"${page}.htm\"></object>\n")
endforeach()
file(WRITE ${PROJECT_DIR}/${NAME}.hhc "<html><body><ul>\n${entries}</ul></body></html>\n")
file(WRITE ${PROJECT_DIR}/${NAME}.hhp
     "[OPTIONS]\nCompiled file=${NAME}.chm\nContents file=${NAME}.hhc\nTitle=${NAME}\n\n[FILES]\nfirst.htm\ncut.htm\nzeros.bin\nlast.htm\n")
