# Writes the project of a hostile contents file: one Name of 255 characters,
# then 200,000 objects with an empty Local and no Name of their own, each of
# which takes that title. Compressed, the book is small; a parser that copied
# the title for every entry would need 100 MB for it.
#   cmake -DPROJECT_DIR=<folder> -DNAME=<name> -P make-one-title-book.cmake
string(REPEAT "T" 255 title)
string(REPEAT "<param name=\"Local\" value=\"\">" 1000 thousand)
string(REPEAT "${thousand}\n" 200 locals)
file(MAKE_DIRECTORY ${PROJECT_DIR})
file(WRITE ${PROJECT_DIR}/page.htm "<html><body>page</body></html>\n")
file(WRITE ${PROJECT_DIR}/${NAME}.hhc
     "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"${title}\">\n${locals}</object></ul>\n")
file(WRITE ${PROJECT_DIR}/${NAME}.hhp
     "[OPTIONS]\nCompiled file=${NAME}.chm\nContents file=${NAME}.hhc\nTitle=${NAME}\n\n[FILES]\npage.htm\n")
