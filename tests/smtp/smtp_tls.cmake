# The SMTP client over TLS against the TLS listeners of aiosmtpd_server.py. Port 465 can be bound
# only once on the machine, so one server serves the whole CTest run (fixture smtp_tls, also
# used by the script tests under Wine) and every test that uses it holds the lock port_465.
# The programs find the server through PELLAM_AIOSMTPD_STATE. Its test CA is trusted through
# SSL_CERT_FILE natively (the program sets it from the state), and under Wine in this build's
# own prefix (tls_trust_ca), never the machine's.
set(smtp_tls_folder ${CMAKE_CURRENT_BINARY_DIR}/smtp-tls)
set(smtp_tls_state ${CMAKE_CURRENT_BINARY_DIR}/smtp-tls.state)
set(smtp_tls_ca ${smtp_tls_folder}/certs/ca.pem)
set(aiosmtpd_script ${CMAKE_CURRENT_SOURCE_DIR}/aiosmtpd_server.py)

add_test(NAME smtp_tls_start
         COMMAND ${PELLAM_PYTHON} ${aiosmtpd_script} --daemon --state ${smtp_tls_state}
                 --folder ${CMAKE_CURRENT_BINARY_DIR}/smtp-tls-mail --tls-folder ${smtp_tls_folder})
add_test(NAME smtp_tls_stop
         COMMAND ${PELLAM_PYTHON} ${aiosmtpd_script} --stop --state ${smtp_tls_state})
set_tests_properties(smtp_tls_start PROPERTIES FIXTURES_SETUP smtp_tls RESOURCE_LOCK port_465)
set_tests_properties(smtp_tls_stop PROPERTIES FIXTURES_CLEANUP smtp_tls)

if(CMAKE_CROSSCOMPILING)
  add_test(NAME smtp_tls_trust_ca COMMAND tls_trust_ca add Z:${smtp_tls_ca})
  add_test(NAME smtp_tls_untrust_ca COMMAND tls_trust_ca remove Z:${smtp_tls_ca})
  set_tests_properties(smtp_tls_trust_ca PROPERTIES FIXTURES_SETUP smtp_tls
                       DEPENDS smtp_tls_start)
  set_tests_properties(smtp_tls_untrust_ca PROPERTIES FIXTURES_CLEANUP smtp_tls)
endif()

pellam_add_gtest(smtp_tls_tests
  SOURCES TSMTPVrexTlsTest.cpp RealSmtpServer.cpp
  LIBS pellam_smtp
  PROPERTIES FIXTURES_REQUIRED smtp_tls RESOURCE_LOCK port_465
             ENVIRONMENT PELLAM_AIOSMTPD_STATE=${smtp_tls_state})
