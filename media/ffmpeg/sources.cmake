# The FFmpeg stock filters of the media framework. media/CMakeLists.txt
# includes this file and adds MEDIA_FFMPEG_SOURCES to velorin_media and
# MEDIA_FFMPEG_TESTS to test_media_ffmpeg.
set(MEDIA_FFMPEG_DIR ${CMAKE_CURRENT_LIST_DIR})
set(MEDIA_FFMPEG_INCLUDE_DIR ${MEDIA_FFMPEG_DIR}/include)

set(MEDIA_FFMPEG_SOURCES
  ${MEDIA_FFMPEG_DIR}/src/demuxer.cpp
  ${MEDIA_FFMPEG_DIR}/src/codec.cpp
  ${MEDIA_FFMPEG_DIR}/src/codecblob.cpp
  ${MEDIA_FFMPEG_DIR}/src/mediatypes.cpp
  ${MEDIA_FFMPEG_DIR}/src/filesource.cpp
  ${MEDIA_FFMPEG_DIR}/src/splitter.cpp
  ${MEDIA_FFMPEG_DIR}/src/decoder.cpp
  ${MEDIA_FFMPEG_DIR}/src/converters.cpp
  ${MEDIA_FFMPEG_DIR}/src/mediadet.cpp
  ${MEDIA_FFMPEG_DIR}/src/register.cpp
)

set(MEDIA_FFMPEG_TESTS
  ${MEDIA_FFMPEG_DIR}/tests/test_engine.cpp
  ${MEDIA_FFMPEG_DIR}/tests/test_filters.cpp
  ${MEDIA_FFMPEG_DIR}/tests/test_graph.cpp
  ${MEDIA_FFMPEG_DIR}/tests/test_mediadet.cpp
)

# Our headers are found as "mediaff/..." by our sources and tests without
# touching the target's own include directories.
set_source_files_properties(${MEDIA_FFMPEG_SOURCES} ${MEDIA_FFMPEG_TESTS}
  PROPERTIES INCLUDE_DIRECTORIES ${MEDIA_FFMPEG_INCLUDE_DIR})
