# Values of the product that belong to the build, not to the code: portal hosts and the update server.
set(VENTURO_PORTAL_LIVE_HOST "mtd.corvane.co.uk" CACHE STRING "Host name of the live MTD portal")
set(VENTURO_PORTAL_TEST_HOST "mtd-test.corvane.co.uk" CACHE STRING "Host name of the test MTD portal")
# Empty: no update server is configured, so no newer version is ever reported.
set(VENTURO_UPDATE_SERVER_URL "" CACHE STRING "Base URL of the update server (https), empty for none")
# The Ed25519 public key (64 hex digits) that update manifests must be signed with; made by
# tools/venturo_update_sign keygen. Empty: no manifest is trusted, so nothing is ever installed.
set(VENTURO_UPDATE_PUBLIC_KEY "" CACHE STRING "Release key of update manifests (Ed25519, hex)")
set(VENTURO_PRODUCT_VERSION "${PROJECT_VERSION}" CACHE STRING "Version the program reports to the update check")

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildConfig.h.in ${CMAKE_BINARY_DIR}/generated/BuildConfig.h @ONLY)

# Authenticode signing of the Windows programs, our DLLs and the installer (scripts/build-windows.sh):
# a PEM certificate (with its chain) and its PEM private key. Empty: the build is left unsigned and
# says so. The key's passphrase, if it has one, is never stored here: VENTURO_SIGN_PASSWORD.
set(VENTURO_SIGN_CERT "$ENV{VENTURO_SIGN_CERT}" CACHE FILEPATH "Code-signing certificate (PEM) of the Windows build")
set(VENTURO_SIGN_KEY "$ENV{VENTURO_SIGN_KEY}" CACHE FILEPATH "Private key (PEM) of the code-signing certificate")
