# Writes a C++ source that carries a file's bytes as the body of
# inkpost::captchaModelBytes(). Run as: cmake -DINPUT=file -DOUTPUT=src.cpp -P embed.cmake
# A missing input gives an empty text (a reader without a model reads nothing).
if(EXISTS "${INPUT}")
  file(READ "${INPUT}" hex HEX)
else()
  set(hex "")
endif()
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by cmake/embed.cmake; do not edit.\n"
  "#include \"blog/captcha_model.h\"\n\n"
  "namespace inkpost {\nnamespace {\nconst unsigned char kBytes[] = {${body}0};\n}  // namespace\n\n"
  "const std::string& captchaModelBytes() {\n"
  "  static const std::string bytes(reinterpret_cast<const char*>(kBytes), ${size});\n"
  "  return bytes;\n}\n\n}  // namespace inkpost\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
