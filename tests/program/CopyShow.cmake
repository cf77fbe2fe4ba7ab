# Makes a runnable show directory: a test scene with the show's shader files beside it.
file(REMOVE_RECURSE ${TARGET})
file(COPY ${SOURCE}/ DESTINATION ${TARGET})
file(GLOB shaders ${SHADERS}/*.vsh ${SHADERS}/*.psh)
file(COPY ${shaders} DESTINATION ${TARGET})
if(STAGES)
  file(GLOB stages ${STAGES}/*.psh)
  file(COPY ${stages} DESTINATION ${TARGET})
endif()
