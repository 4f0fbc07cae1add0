# Writes INPUT (a .res file) into OUTPUT as a C array with the module's symbols.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
  "/* Generated from ${INPUT}; do not edit. */\n"
  "__attribute__((aligned(16))) const unsigned char lw_resource_image[${size} + 1] = {\n${bytes}0};\n"
  "const unsigned long lw_resource_image_size = ${size};\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
