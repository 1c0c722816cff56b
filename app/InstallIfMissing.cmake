# Copies SRC to OUT unless OUT exists already.
if(NOT EXISTS "${OUT}")
  configure_file("${SRC}" "${OUT}" COPYONLY)
endif()
