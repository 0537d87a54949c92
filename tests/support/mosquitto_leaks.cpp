// libmosquitto makes one OpenSSL UI method for its first TLS connection and never hands it
// back, not even in mosquitto_lib_cleanup(): the library's, not ours, and once per process.
// The sanitizer's fast unwinding ends inside libcrypto, so the library is named; the MQTT
// test programs leave OpenSSL to libmosquitto, and every other program is checked in full.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:UI_create_method\nleak:libcrypto.so\n";
}
