# The SMTP client over TLS against the TLS listeners of aiosmtpd_server.py. Port 465 can be bound
# only once on the machine, so one server serves the whole CTest run (fixture smtp_tls, also
# used by the script tests under Wine) and every test that uses it holds the lock port_465.
# The programs find the server through PELLAM_AIOSMTPD_STATE. Its certificates are those of the
# TLS session tests (fixture tls_servers, in tests/platform), whose one test CA is trusted through
# SSL_CERT_FILE natively (the program sets it from the state) and under Wine in this build's own
# prefix, never the machine's: a CA of its own would need trusting there too, and each
# tls_trust_ca removes every test CA but the one it adds.
set(smtp_tls_state ${CMAKE_CURRENT_BINARY_DIR}/smtp-tls.state)
set(aiosmtpd_script ${CMAKE_CURRENT_SOURCE_DIR}/aiosmtpd_server.py)

add_test(NAME smtp_tls_start
         COMMAND ${PELLAM_PYTHON} ${aiosmtpd_script} --daemon --state ${smtp_tls_state}
                 --folder ${CMAKE_CURRENT_BINARY_DIR}/smtp-tls-mail
                 --tls-folder ${CMAKE_CURRENT_BINARY_DIR}/smtp-tls
                 --tls-certs ${CMAKE_BINARY_DIR}/tests/platform/tls/certs)
add_test(NAME smtp_tls_stop
         COMMAND ${PELLAM_PYTHON} ${aiosmtpd_script} --stop --state ${smtp_tls_state})
set_tests_properties(smtp_tls_start PROPERTIES FIXTURES_SETUP smtp_tls FIXTURES_REQUIRED tls_servers
                     DEPENDS tls_servers_start RESOURCE_LOCK port_465)
set_tests_properties(smtp_tls_stop PROPERTIES FIXTURES_CLEANUP smtp_tls)

pellam_add_gtest(smtp_tls_tests
  SOURCES TSMTPVrexTlsTest.cpp RealSmtpServer.cpp
  LIBS pellam_smtp
  PROPERTIES FIXTURES_REQUIRED smtp_tls RESOURCE_LOCK port_465
             ENVIRONMENT PELLAM_AIOSMTPD_STATE=${smtp_tls_state})
# Under Wine the CA must stay trusted until the program ends (natively its file just stays).
if(CMAKE_CROSSCOMPILING)
  set_property(TEST smtp_tls_tests APPEND PROPERTY FIXTURES_REQUIRED tls_servers)
endif()
