# Prints the event-log reports found in a Wine debug trace, one per line:
#   <source>  <kind>  <text>
# Wine keeps no event log; it traces each report (RegisterEventSourceA names the source,
# ReportEventA gives the type, the next eventlog line of the same thread the text).
# Usage: awk -v source=<name> -f show-events.awk wine-debug.log   (source optional)
{
    split($0, f, ":")
    thread = f[1] ":" f[2]
}
/:fixme:advapi:RegisterEventSourceA / {
    s = $0
    sub(/^[^,]*,"/, "", s)
    sub(/"\): stub$/, "", s)
    src[thread] = s
    next
}
/:fixme:advapi:ReportEventA \(/ {
    s = $0
    sub(/^.*ReportEventA \([^,]*,/, "", s)
    split(s, a, ",")
    type[thread] = a[1] + 0
    next
}
/:eventlog:ReportEventW L"/ {
    if (source != "" && src[thread] != source) next
    t = $0
    sub(/^[^"]*"/, "", t)
    sub(/"$/, "", t)
    k = type[thread] == 1 ? "error      " : type[thread] == 2 ? "warning    " : "information"
    printf "%-20s %s  %s\n", src[thread], k, t
}
