# Environment for Qt WebEngine on machines without a GPU, and as root (sourced by the scripts).
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}"
export QT_QUICK_BACKEND="${QT_QUICK_BACKEND:-software}"
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
