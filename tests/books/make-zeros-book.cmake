# Writes the project of a book of long objects: a page whose text ends at a
# zero byte near its start, with 200,000 bytes after it, a file of zeros of
# the same length, and a page of 100,000 bytes with one word at each end,
# beside ordinary pages.
#   cmake -DPROJECT_DIR=<folder> -DNAME=<name> -P make-zeros-book.cmake
file(MAKE_DIRECTORY ${PROJECT_DIR})
file(WRITE ${PROJECT_DIR}/first.htm "<html><body>first</body></html>\n")
file(WRITE ${PROJECT_DIR}/last.htm "<html><body>last</body></html>\n")
execute_process(COMMAND sh -c "printf '<html>cut'; head -c 200000 /dev/zero" OUTPUT_FILE ${PROJECT_DIR}/cut.htm)
execute_process(COMMAND head -c 200000 /dev/zero OUTPUT_FILE ${PROJECT_DIR}/zeros.bin)
string(REPEAT "filler " 14000 filler)
file(WRITE ${PROJECT_DIR}/long.htm "<html><body><p>needle</p><p>${filler}</p><p>needle</p></body></html>\n")
set(entries "")
foreach(page first cut long last)
  string(APPEND entries "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"${page}\">"
         "<param name=\"Local\" value=\"${page}.htm\"></object>\n")
endforeach()
file(WRITE ${PROJECT_DIR}/${NAME}.hhc "<html><body><ul>\n${entries}</ul></body></html>\n")
file(WRITE ${PROJECT_DIR}/${NAME}.hhp
     "[OPTIONS]\nCompiled file=${NAME}.chm\nContents file=${NAME}.hhc\nTitle=${NAME}\n\n[FILES]\nfirst.htm\ncut.htm\nzeros.bin\nlong.htm\nlast.htm\n")
