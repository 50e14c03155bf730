"""Doxygen's input filter for the public headers: their comments are plain
// comments, written for people reading the header; this turns them into
Doxygen's documentation comments on the fly, so the headers stay the one
source of the reference.

    doxygen_filter.py HEADER    writes the filtered header to standard output

- The comment at the top of the file describes the file (@file).
- A block of // lines directly above a declaration documents it (///).
- A comment after code on the same line documents that line's member (///<),
  and so do the comment lines lined up under it.
- A comment above or after a line that declares several members documents
  each of them (a member group whose members share it).
- Blocks followed by a blank line, and "// ----" section rules, stay plain.
"""

import re
import sys

COMMENT = re.compile(r"^(\s*)//(?!/)(.*)$")
TRAILING = re.compile(r"^(.*?\S)(\s+)//(?!/)(.*)$")
RULE = re.compile(r"^\s*// ?-{3,}")
# A declaration of several members at once: "int x0 = 0, y0 = 0;".
SEVERAL = re.compile(r"^[^(]*\w+( = [^,;]+)?, \w+")


def filtered(lines):
    out = []
    i = 0
    # The file's own comment, up to the first line that is no comment.
    if lines and COMMENT.match(lines[0]):
        out.append("/// @file")
        while i < len(lines) and COMMENT.match(lines[i]):
            out.append(COMMENT.sub(r"\1///\2", lines[i]))
            i += 1
    trailing_column = None  # where the last line's trailing comment began
    while i < len(lines):
        line = lines[i]
        comment = COMMENT.match(line)
        if comment and trailing_column == len(comment.group(1)):
            out.append(COMMENT.sub(r"\1///<\2", line))  # continues the comment above
            i += 1
            continue
        trailing_column = None
        if comment and not RULE.match(line):
            block = i
            while i < len(lines) and COMMENT.match(lines[i]) and not RULE.match(lines[i]):
                i += 1
            documents = i < len(lines) and lines[i].strip() and not RULE.match(lines[i])
            if not documents:
                out.extend(lines[block:i])
                continue
            # A comment above a line that declares several members speaks for
            # each of them: a member group that shares it.
            several = SEVERAL.match(lines[i]) and not TRAILING.match(lines[i])
            if several:
                out.append(comment.group(1) + "///@{")
            out.extend(COMMENT.sub(r"\1///\2", text) for text in lines[block:i])
            if several:
                out.extend([lines[i], comment.group(1) + "///@}"])
                i += 1
            continue
        trailing = TRAILING.match(line)
        if trailing and SEVERAL.match(trailing.group(1)) and trailing.group(1).count('"') % 2 == 0:
            # A comment after several members: the group's shared comment.
            indent = re.match(r"\s*", line).group(0)
            out.extend([indent + "///@{", f"{indent}///{trailing.group(3)}", trailing.group(1),
                        indent + "///@}"])
            i += 1
            continue
        if trailing and not comment and trailing.group(1).count('"') % 2 == 0:
            out.append(f"{trailing.group(1)}{trailing.group(2)}///<{trailing.group(3)}")
            trailing_column = len(trailing.group(1)) + len(trailing.group(2))
        else:
            out.append(line)
        i += 1
    return out


if __name__ == "__main__":
    with open(sys.argv[1]) as f:
        sys.stdout.write("\n".join(filtered(f.read().split("\n"))))
