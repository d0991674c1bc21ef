# The real SMTP server of the client tests for the Windows programs under Wine, which cannot start
# a Linux process themselves: a CTest fixture starts aiosmtpd_server.py before smtp_tests and stops
# it afterwards; the program finds it through PELLAM_AIOSMTPD_STATE. Native test programs start
# their own server, since each discovered test case is a process of its own.
if(CMAKE_CROSSCOMPILING AND TARGET smtp_tests)
  set(aiosmtpd_state ${CMAKE_CURRENT_BINARY_DIR}/aiosmtpd.state)
  set(aiosmtpd_script ${CMAKE_CURRENT_SOURCE_DIR}/aiosmtpd_server.py)
  add_test(NAME smtp_aiosmtpd_start
           COMMAND ${PELLAM_PYTHON} ${aiosmtpd_script} --daemon --state ${aiosmtpd_state}
                   --folder ${CMAKE_CURRENT_BINARY_DIR}/aiosmtpd-mail)
  add_test(NAME smtp_aiosmtpd_stop
           COMMAND ${PELLAM_PYTHON} ${aiosmtpd_script} --stop --state ${aiosmtpd_state})
  set_tests_properties(smtp_aiosmtpd_start PROPERTIES FIXTURES_SETUP aiosmtpd)
  set_tests_properties(smtp_aiosmtpd_stop PROPERTIES FIXTURES_CLEANUP aiosmtpd)
  set_tests_properties(smtp_tests PROPERTIES FIXTURES_REQUIRED aiosmtpd
                       ENVIRONMENT PELLAM_AIOSMTPD_STATE=${aiosmtpd_state})
endif()
