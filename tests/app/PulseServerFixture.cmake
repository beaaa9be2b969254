# A private PulseAudio server with one null sink, "frisson_test" (44100 Hz,
# stereo, 16-bit), for the tests that list and play PulseAudio devices. It
# listens only on a socket in the build folder, so builds tested at the same
# time do not meet, and a desktop's own server is never touched. A test that
# needs it:
#   PROPERTIES FIXTURES_REQUIRED ${FRISSON_PULSE_FIXTURE}
#              ENVIRONMENT PULSE_SERVER=${FRISSON_PULSE_SERVER}
set(pulse_script ${PROJECT_SOURCE_DIR}/scripts/pulse-test-server.sh)
set(pulse_state ${CMAKE_BINARY_DIR}/pulse-test-server)
set(FRISSON_PULSE_SERVER "unix:${pulse_state}/native")
set(FRISSON_PULSE_FIXTURE pulse_server)

add_test(NAME pulse_server_start COMMAND ${pulse_script} start ${pulse_state})
add_test(NAME pulse_server_stop COMMAND ${pulse_script} stop ${pulse_state})
set_tests_properties(pulse_server_start PROPERTIES FIXTURES_SETUP ${FRISSON_PULSE_FIXTURE} TIMEOUT 30)
set_tests_properties(pulse_server_stop PROPERTIES FIXTURES_CLEANUP ${FRISSON_PULSE_FIXTURE} TIMEOUT 30)
