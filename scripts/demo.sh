#!/usr/bin/env bash
# pravik end to end under Wine with the real JVM (behind the test jvm.dll):
# builds what it needs, installs the sample service from a configuration file,
# starts it, sends pause, continue and a user code, restarts it, runs it in
# the foreground, exports its settings, stops and removes it; then runs an
# unmodified program (a jar with a main) as a service, ready only when its
# port answers and stopped by its own stop method. Every step is
# printed with what pravik said and what reached Java (from the trace).
#
# Usage (Debian 12, as root on a fresh machine): bash scripts/demo.sh
# PRAVIK_DEMO_BUILD names the build directory (default build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${PRAVIK_DEMO_BUILD:-build/demo}
case $build in /*) ;; *) build=$root/$build ;; esac

packages=(cmake ninja-build g++ g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 wine googletest
          openjdk-17-jdk-headless procps)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "=== installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

echo "=== building pravik.exe, the test JVM and the sample service in $build"
work=$(mktemp -d /tmp/pravik-demo.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# The build runs test discovery under Wine: keep it in the demo's own prefix.
cmake --preset windows-x64 -B "$build" >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cmake --build "$build" --target pravik pravik_test_jvm keepalive -j 2 >"$work/build.log" 2>&1 ||
  { tail -40 "$work/build.log"; exit 1; }

winpath() { echo "Z:${1//\//\\}"; }
pravik=$build/pravik.exe
jvm=$(winpath "$build/testjvm/jvm.dll")
classpath="$(winpath "$build/pravik.jar");$(winpath "$build/pravik-sample.jar")"
trace=$work/trace.log
service=PravikDemo

keepalive_pid=
cleanup() {
  # Shut the demo's Wine session down and remove its prefix, whatever happened.
  wineserver -k 2>/dev/null || true
  [ -n "$keepalive_pid" ] && wait "$keepalive_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "=== a Wine prefix of its own: $WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
# Services live only while an ordinary process keeps the Wine session up.
setsid wine "$build/tests/keepalive.exe" </dev/null >/dev/null 2>&1 &
keepalive_pid=$!
sleep 3

step() { echo; echo "=== $*"; }
run() {
  echo "\$ pravik $*"
  wine "$pravik" "$@" </dev/null | tr -d '\r' | sed 's/^/    /'
}
state() {
  wine sc query "$service" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'
}
wait_state() {
  for _ in $(seq 1 600); do
    [ "$(state)" = "$1" ] && break
    sleep 0.1
  done
  echo "    service state: $(state)"
}
# What reached Java since the last look, and what Java reported, from the trace.
seen=0
java_saw() {
  [ -f "$trace" ] || return 0
  local lines
  lines=$(tr -d '\r' <"$trace" | wc -l)
  tr -d '\r' <"$trace" | tail -n +"$((seen + 1))" | sed -n \
    -e 's/.*CJvm::sendControlCommand Entry \(25[01]\)$/    code \1 becomes a console event, not a serviceControl call/p' \
    -e 's/.*CJvm::sendControlCommand Entry \([0-9-]*\)$/    Java serviceControl(\1)/p' \
    -e 's/.*CJvm::sendConsoleSignal Entry \([0-9-]*\)$/    Java consoleSignal(\1)/p' \
    -e 's/.*CJvm::runServiceMain Entry$/    Java serviceMain called/p' \
    -e 's/.* Set service to state \(.*\)$/    Java reported \1/p' \
    -e 's/.* \(Generating control .*\)$/    \1/p'
  seen=$lines
}

step "write the configuration of the sample service"
cat >"$work/demo.cfg" <<CFG
serviceDisplayName=Pravik demo service
serviceName=$service
ipravikClass=com.velsor.sample.SampleService
description=The sample service of pravik, run by scripts/demo.sh
jvmDLL=$jvm
jvmOption1=-Djava.class.path=$classpath
commandLineParms=-console
CFG
sed 's/^/    /' "$work/demo.cfg"

step "install it"
run -i "$(winpath "$work/demo.cfg")"
run -b
step "switch the trace on (for the processes started from now on)"
run -t "$(winpath "$trace")"

step "start it through the service control manager"
echo "\$ sc start $service"
wine sc start "$service" </dev/null >/dev/null 2>&1
wait_state RUNNING
java_saw

step "pause, continue and user code 200 through the service control manager"
run -s "$service" SERVICE_CONTROL_PAUSE
java_saw
run -s "$service" SERVICE_CONTROL_CONTINUE
java_saw
run -s "$service" 200
java_saw
wait_state RUNNING

step "the trace of the service so far (its JVM's own lines left out)"
tr -d '\r' <"$trace" | grep -E "Set service to state|Sending service control|CJvm::sendControlCommand Entry|JVM DLL" |
  head -20 | sed 's/^/    /'

step "restart it: stop, then start (code 128)"
run -s "$service" SERVICE_CONTROL_RESTART
wait_state RUNNING
java_saw

step "export its settings"
run -e "$service" "$(winpath "$work/exported.cfg")"
tr -d '\r' <"$work/exported.cfg" | sed 's/^/    /'

step "stop it"
run -s "$service" SERVICE_CONTROL_STOP
wait_state STOPPED
java_saw

step "run it in the foreground (console mode, in a terminal of its own) and send codes over its pipe"
echo "\$ pravik -x $service"
script -qec "wine '$pravik' -x $service" /dev/null </dev/null >"$work/console.out" 2>&1 &
console_pid=$!
for _ in $(seq 1 600); do
  grep -q "Set service to state SERVICE_RUNNING" <(tr -d '\r' <"$trace" | tail -n +"$((seen + 1))") && break
  sleep 0.1
done
sleep 1
run -s "$service" 201
sleep 1
run -s "$service" CTRL_C_EVENT
# The sample service stops on Ctrl+C; the console-mode run then ends.
wait "$console_pid" || true
echo "    what the foreground run printed:"
tr -d '\r' <"$work/console.out" | sed 's/^/      /'
java_saw

step "remove it"
run -r "$service"

step "an unmodified program: a small web server with a main, compiled into a jar that knows nothing of pravik"
mkdir -p "$work/hello/src"
port=$((20000 + $$ % 20000))
cat >"$work/hello/src/HelloServer.java" <<JAVA
import com.sun.net.httpserver.HttpServer;
import java.net.InetSocketAddress;
import java.nio.charset.StandardCharsets;

public class HelloServer {
    private static HttpServer server;

    public static void main(String[] args) throws Exception {
        int port = Integer.parseInt(args[0]);
        Thread.sleep(2000); // a slow start: the service must not be RUNNING before the port answers
        server = HttpServer.create(new InetSocketAddress("127.0.0.1", port), 0);
        server.createContext("/", exchange -> {
            byte[] body = "hello from an unmodified program\n".getBytes(StandardCharsets.US_ASCII);
            exchange.sendResponseHeaders(200, body.length);
            exchange.getResponseBody().write(body);
            exchange.close();
        });
        server.start();
        System.out.println("HelloServer listening on port " + port);
    }

    public static void stop() {
        System.out.println("HelloServer stopping");
        server.stop(0);
    }
}
JAVA
javac --release 8 -d "$work/hello/classes" "$work/hello/src/HelloServer.java"
printf 'Main-Class: HelloServer\n' >"$work/hello/manifest.txt"
jar cfm "$work/hello/hello.jar" "$work/hello/manifest.txt" -C "$work/hello/classes" .
sed 's/^/    /' "$work/hello/src/HelloServer.java" | sed -n '/public static void main/,/^    }$/p' | head -3
echo "    ... (main starts the server after 2 s, stop() stops it)"

# The test JVM behind jvm.dll is a Linux JVM, which cannot open a Windows path
# itself: the demo names the main class rather than "-jar <file>".
step "its configuration: the ready-made service class, ready when the port answers, stopped by its own stop()"
hello=PravikHello
cat >"$work/hello.cfg" <<CFG
serviceDisplayName=Pravik demo: an unmodified program
serviceName=$hello
ipravikClass=com.velsor.core.orb.MainClassService
jvmDLL=$jvm
jvmOption1=-Djava.class.path=$(winpath "$build/pravik.jar");$(winpath "$work/hello/hello.jar")
jvmOption2=-Dpravik.ready.port=$port
jvmOption3=-Dpravik.stop=HelloServer.stop
commandLineParms=HelloServer $port
standardOutput=$(winpath "$work/hello/out.log")
standardError=$(winpath "$work/hello/out.log")
CFG
sed 's/^/    /' "$work/hello.cfg"
run -i "$(winpath "$work/hello.cfg")"

step "start it: START_PENDING until the port answers, then RUNNING"
service=$hello
echo "\$ sc start $hello"
wine sc start "$hello" </dev/null >/dev/null 2>&1
echo "    service state right after the start: $(state)"
wait_state RUNNING
echo "    what the port says:"
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'GET / HTTP/1.0\r\n\r\n' >&3
tr -d '\r' <&3 | tail -1 | sed 's/^/      /'
exec 3<&-

step "stop it: the program's own stop() runs"
run -s "$hello" SERVICE_CONTROL_STOP
wait_state STOPPED
echo "    what the program printed (standardOutput and standardError):"
tr -d '\r' <"$work/hello/out.log" | sed 's/^/      /'
run -r "$hello"
run -b
run -t OFF
echo
echo "=== done: the Wine session is shut down and $work removed"
