#!/usr/bin/env bash
# Signs a Windows program in place with Authenticode (SHA-256), by osslsigncode.
#
#   tools/sign.sh PKCS12 PASS_FILE TIMESTAMP_URL PROGRAM
#
# PASS_FILE holds the certificate's password (its first line). TIMESTAMP_URL may
# be empty: the signature then carries no time stamp and is valid only as long
# as the certificate is.
set -euo pipefail
cert=$1 pass_file=$2 timestamp_url=$3 program=$4
[[ -f $cert ]] || { echo "sign.sh: no certificate $cert" >&2; exit 1; }
[[ -f $pass_file ]] || { echo "sign.sh: no password file $pass_file" >&2; exit 1; }
options=(sign -pkcs12 "$cert" -readpass "$pass_file" -h sha256 -n "Gradiva 7.18f Setup")
[[ -z $timestamp_url ]] || options+=(-ts "$timestamp_url")
# osslsigncode writes a new file only: it goes beside the program, then over it.
folder=$(mktemp -d "$(dirname "$program")/.signing.XXXXXX")
trap 'rm -rf "$folder"' EXIT
signed=$folder/$(basename "$program")
osslsigncode "${options[@]}" -in "$program" -out "$signed" >/dev/null
chmod --reference="$program" "$signed"
mv -f "$signed" "$program"
echo "signed $program"
