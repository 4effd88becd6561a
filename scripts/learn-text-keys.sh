#!/bin/sh
# Learns the keys of text characters from the samples' index pages and
# rewrites reader/text_sort_keys.cc. Run from the repository root after
# building (build/tools/mendora-learn-text-keys); the sample folders are
# found as the tests find them.
set -eu
corpus=${MENDORA_CORPUS:-../shared/corpus}
ace=${MENDORA_CORPUS_ACE:-../shared/corpus-ace}
objects=${MENDORA_CORPUS_OBJECTS:-../shared/corpus-objects}
encrypted=${MENDORA_CORPUS_ENCRYPTED:-../shared/corpus-encrypted}
exec build/tools/mendora-learn-text-keys reader/text_sort_keys.cc \
  "$corpus"/*.mdb "$ace"/*.accdb "$objects"/*.mdb "$objects"/*.accdb \
  "$encrypted"/jet3-encoded.mdb "$encrypted"/ace2007-encrypted-rc4.accdb:Test123 \
  "$encrypted"/ace2010-encrypted-agile.accdb:password
