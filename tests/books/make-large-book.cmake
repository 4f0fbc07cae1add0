# Writes the project of a large test book: 3,000 pages in 30 folders, each page
# naming one of 20 images, and a contents file with an entry for every page.
# chmcmd spreads its directory over many listing chunks, so the book carries the
# first-chunk fault of the Free Pascal writer. Its contents file is named in
# capitals (.HHC), as some writers name it.
#   cmake -DPROJECT_DIR=<folder> -DNAME=<name> -P make-large-book.cmake
set(folders 30)
set(pagesPerFolder 100)
set(imageCount 20)

file(MAKE_DIRECTORY ${PROJECT_DIR}/img)
set(files "")
math(EXPR lastImage "${imageCount} - 1")
foreach(i RANGE ${lastImage})
  file(WRITE ${PROJECT_DIR}/img/picture${i}.gif "GIF89a picture ${i}")
  string(APPEND files "img/picture${i}.gif\n")
endforeach()

set(toc "<HTML><BODY>\n<UL>\n")
math(EXPR lastFolder "${folders} - 1")
math(EXPR lastPage "${pagesPerFolder} - 1")
foreach(f RANGE ${lastFolder})
  string(APPEND toc "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Section ${f}\"></OBJECT>\n<UL>\n")
  file(MAKE_DIRECTORY ${PROJECT_DIR}/section${f})
  foreach(p RANGE ${lastPage})
    math(EXPR image "(${f} * ${pagesPerFolder} + ${p}) % ${imageCount}")
    file(WRITE ${PROJECT_DIR}/section${f}/page${p}.htm
         "<html><body><h1>Section ${f}, page ${p}</h1><img src=\"../img/picture${image}.gif\"></body></html>\n")
    string(APPEND files "section${f}/page${p}.htm\n")
    string(APPEND toc "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Page ${f}.${p}\"><param name=\"Local\" value=\"section${f}/page${p}.htm\"></OBJECT>\n")
  endforeach()
  string(APPEND toc "</UL>\n")
endforeach()
string(APPEND toc "</UL>\n</BODY></HTML>\n")
file(WRITE ${PROJECT_DIR}/${NAME}.HHC "${toc}")
file(WRITE ${PROJECT_DIR}/${NAME}.hhp
     "[OPTIONS]\nCompiled file=${NAME}.chm\nContents file=${NAME}.HHC\nTitle=${NAME}\n\n[FILES]\n${files}")
