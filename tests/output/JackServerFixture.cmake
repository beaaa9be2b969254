# A private JACK server with the dummy driver (44100 Hz, 256 frames) for tests
# that play or take MIDI through JACK. The server name is unique per build
# folder, so builds tested at the same time do not meet. A test that needs it:
#   PROPERTIES FIXTURES_REQUIRED ${FRISSON_JACK_FIXTURE}
#              ENVIRONMENT JACK_DEFAULT_SERVER=${FRISSON_JACK_SERVER}
string(MD5 build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${build_hash}" 0 10 build_hash)
set(FRISSON_JACK_SERVER "frisson_test_${build_hash}")
set(FRISSON_JACK_FIXTURE jack_server)
set(jack_script ${PROJECT_SOURCE_DIR}/scripts/jack-test-server.sh)
set(jack_state ${CMAKE_BINARY_DIR}/jack-test-server)

add_test(NAME jack_server_start COMMAND ${jack_script} start ${FRISSON_JACK_SERVER} ${jack_state})
add_test(NAME jack_server_stop COMMAND ${jack_script} stop ${FRISSON_JACK_SERVER} ${jack_state})
set_tests_properties(jack_server_start PROPERTIES FIXTURES_SETUP ${FRISSON_JACK_FIXTURE} TIMEOUT 30)
set_tests_properties(jack_server_stop PROPERTIES FIXTURES_CLEANUP ${FRISSON_JACK_FIXTURE} TIMEOUT 30)

# For the layers after this one (midi).
set(FRISSON_JACK_SERVER ${FRISSON_JACK_SERVER} PARENT_SCOPE)
set(FRISSON_JACK_FIXTURE ${FRISSON_JACK_FIXTURE} PARENT_SCOPE)
