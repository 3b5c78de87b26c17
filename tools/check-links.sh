#!/usr/bin/env bash
# Checks the links between the project's own Markdown files, as GitHub shows them: a relative link
# must name a file or folder that exists, and a #fragment one of the target page's headings (the
# anchor GitHub makes of it: lower case, punctuation but `-` and `_` dropped, spaces to `-`, a
# repeated heading's anchor numbered `-1`, `-2`). Links with a scheme (https:, mailto:) are not
# followed; code spans and fenced code are not links. Each broken link is printed as
# FILE:LINE: TARGET: why; exit status 1 when there is one.
# Usage: tools/check-links.sh [FILE.md...]  (default: every .md file outside build/ and hidden
# folders)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  mapfile -d '' files < <(find "$root" -mindepth 1 \( -name build -o -name '.*' \) -prune -o \
    -type f -name '*.md' -print0 | sort -z)
fi
# perl-base is part of every Debian system; it needs no module beyond it.
exec perl -CSDA -e '
use strict;
use warnings;

my $root = shift @ARGV;
my %anchors_of;

# Fenced code opens with ``` or ~~~ and closes with the same fence.
sub strip_fences {
  my @lines = @_;
  my $fence = "";
  for my $line (@lines) {
    if ($line =~ /^ {0,3}(`{3,}|~{3,})/) {
      my $mark = $1;
      if ($fence eq "") { $fence = $mark; $line = ""; next; }
      if ($mark =~ /^\Q$fence\E/) { $fence = ""; $line = ""; next; }
    }
    $line = "" if $fence ne "";
  }
  return @lines;
}

sub read_lines {
  my ($file) = @_;
  open(my $in, "<", $file) or return;
  my @lines = <$in>;
  chomp @lines;
  return strip_fences(@lines);
}

# The anchors of a page, made from its ATX headings as GitHub makes them.
sub anchors {
  my ($file) = @_;
  return $anchors_of{$file} //= do {
    my (%anchors, %seen);
    for (read_lines($file)) {
      next unless /^ {0,3}#{1,6}[ \t]+(.*?)(?:[ \t]+#+)?[ \t]*$/;
      my $text = $1;
      $text =~ s/!?\[([^\]]*)\]\([^)]*\)/$1/g;  # a link or image shows its text
      $text =~ s/<[^>]*>//g;                    # inline HTML shows none
      my $anchor = lc $text;
      $anchor =~ s/[^\p{Word}\- ]//g;
      $anchor =~ tr/ /-/;
      my $n = $seen{$anchor}++;
      $anchors{$n ? "$anchor-$n" : $anchor} = 1;
    }
    \%anchors;
  };
}

sub decode_percent {
  my ($text) = @_;
  return $text unless $text =~ /%[0-9A-Fa-f]{2}/;
  utf8::encode($text);
  $text =~ s/%([0-9A-Fa-f]{2})/chr(hex($1))/ge;
  utf8::decode($text);
  return $text;
}

sub shown { my ($file) = @_; $file =~ s{^\Q$root\E/}{}; return $file; }

my $broken = 0;
for my $file (@ARGV) {
  my ($folder) = $file =~ m{^(.*)/[^/]*$};
  $folder //= ".";
  my @lines = read_lines($file);
  for my $number (1 .. @lines) {
    my $line = $lines[$number - 1];
    $line =~ s/(`+).*?\1//g;  # code spans
    my @targets = $line =~ /\]\(\s*<?([^()<>\s]+)>?(?:\s+"[^"]*")?\s*\)/g;
    push @targets, $1 if $line =~ /^ {0,3}\[[^\]]+\]:\s*<?([^\s>]+)/;
    for my $target (@targets) {
      next if $target =~ m{^(?:[A-Za-z][A-Za-z0-9+.-]*:|//)};
      my ($path, $fragment) = $target =~ /^([^#]*)(?:#(.*))?$/;
      my $resolved = $path eq "" ? $file
                   : $path =~ m{^/} ? $root . decode_percent($path)
                   : "$folder/" . decode_percent($path);
      my $why;
      if (!-e $resolved) {
        $why = "no such file or folder";
      } elsif (defined $fragment && $resolved =~ /\.md$/i && -f $resolved &&
               !anchors($resolved)->{decode_percent($fragment)}) {
        $why = "no heading with the anchor #$fragment in " . shown($resolved);
      }
      if ($why) {
        print shown($file), ":$number: $target: $why\n";
        $broken++;
      }
    }
  }
}
exit($broken ? 1 : 0);
' "$root" "${files[@]}"
