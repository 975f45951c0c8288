#!/usr/bin/perl
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# sort-qml-locals.pl FILE: sorts, in place, the declarations of locals that
# open each function qmlcachegen compiled to C++ ("QVariant r2_3;"). Qt 6.4's
# qmlcachegen writes them in an order that follows where its own objects lie
# in memory, so no two runs write the same file, and the compiler lays out
# the stack, and so the code, after that order. Any order is right, so
# sorting each run of them makes every build the same.
use strict;
use warnings;

my ($file) = @ARGV;
open(my $in, '<', $file) or die "$file: $!\n";
my (@lines, @declarations);
while (my $line = <$in>) {
    if ($line =~ /^[\w:<>, ]+[ *&]r\d+_\d+;$/) {
        push @declarations, $line;
        next;
    }
    push @lines, sort(@declarations), $line;
    @declarations = ();
}
push @lines, sort(@declarations);
close($in);
open(my $out, '>', $file) or die "$file: $!\n";
print $out @lines;
close($out) or die "$file: $!\n";
